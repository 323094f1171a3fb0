#include "platform/ads/TrackingAuthorization.h"

#include <thread>

#include "platform/foundation/ThreadRunLoop.h"

namespace jw::ads {

namespace {

// One background thread for the process answers every request in turn. It is never torn
// down: at exit it is parked on its run loop, and destroying it then could race an answer
// still in flight.
ThreadRunLoop& answerQueue() {
    static ThreadRunLoop* loop = [] {
        auto* created = new ThreadRunLoop();
        std::thread([created] { created->run(); }).detach();
        return created;
    }();
    return *loop;
}

}  // namespace

void TrackingManager::requestTrackingAuthorization(Completion completion) {
    if (!completion) {
        return;
    }
    answerQueue().post([completion = std::move(completion)] {
        completion(TrackingAuthorizationStatus::notDetermined);
    });
}

TrackingAuthorizationStatus TrackingManager::trackingAuthorizationStatus() {
    return TrackingAuthorizationStatus::notDetermined;
}

}  // namespace jw::ads
