#pragma once
// The one error type of the object store. `description` says what failed; `userInfo` carries
// the details (the SQLite message, the file, the statement) in the form the fatal stop prints.

#include <stdexcept>
#include <string>

namespace jw::store {

class StoreError : public std::runtime_error {
  public:
    StoreError(std::string description, std::string userInfo)
        : std::runtime_error(description + ", " + userInfo),
          description_(std::move(description)),
          userInfo_(std::move(userInfo)) {}

    const std::string& description() const { return description_; }
    const std::string& userInfo() const { return userInfo_; }

  private:
    std::string description_;
    std::string userInfo_;
};

}  // namespace jw::store
