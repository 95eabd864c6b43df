// Rate limits per address. See ratelimit.h.
#include "server/ratelimit.h"

#include <algorithm>
#include <cmath>

#include "server/limits.h"

RateLimiter::RateLimiter(double perSecond, double burst) : perSecond_(perSecond), burst_(burst) {}

double RateLimiter::Refilled(const Bucket &b, Clock::time_point now) const {
    double seconds = std::chrono::duration<double>(now - b.when).count();
    return std::min(burst_, b.tokens + seconds * perSecond_);
}

bool RateLimiter::Take(const std::string &address, int *retryAfter) {
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point now = Clock::now();
    auto it = buckets_.find(address);
    if (it == buckets_.end()) {
        if (buckets_.size() >= kMaxTrackedAddresses) {
            // Room: the addresses whose buckets have filled up again are
            // as good as new; failing that, all are forgotten.
            for (auto b = buckets_.begin(); b != buckets_.end();)
                b = Refilled(b->second, now) >= burst_ ? buckets_.erase(b) : std::next(b);
            if (buckets_.size() >= kMaxTrackedAddresses) buckets_.clear();
        }
        it = buckets_.emplace(address, Bucket{burst_, now}).first;
    }
    Bucket &b = it->second;
    b.tokens = Refilled(b, now);
    b.when = now;
    if (b.tokens >= 1) {
        b.tokens -= 1;
        return true;
    }
    *retryAfter = std::max(1, int(std::ceil((1 - b.tokens) / perSecond_)));
    return false;
}

bool ConnectionCounter::Open(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    int &open = open_[address];
    if (open >= limit_) return false;
    open++;
    return true;
}

void ConnectionCounter::Close(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(address);
    if (it != open_.end() && --it->second <= 0) open_.erase(it);
}
