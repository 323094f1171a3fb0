#pragma once
// An ad request. House ads need no targeting, so a default request carries no settings; it
// exists so that loads read as the network's clients expect.

namespace jw::ads {

class AdRequest {
  public:
    // A default request.
    static AdRequest request() { return AdRequest(); }
};

}  // namespace jw::ads
