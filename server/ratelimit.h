// Rate limits per address: a bucket of tokens per address, refilled at a
// steady rate up to its burst. Addresses are kept in memory only, and
// forgotten once their bucket is full again when room is needed.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

class RateLimiter {
public:
    RateLimiter(double perSecond, double burst);
    // Takes a token for the address; false, with the whole seconds until
    // the next one, when it has none.
    bool Take(const std::string &address, int *retryAfter);

private:
    using Clock = std::chrono::steady_clock;
    struct Bucket {
        double tokens;
        Clock::time_point when;
    };
    double Refilled(const Bucket &bucket, Clock::time_point now) const;

    double perSecond_, burst_;
    std::unordered_map<std::string, Bucket> buckets_;
    std::mutex mutex_;
};

// Connections open at once per address.
class ConnectionCounter {
public:
    explicit ConnectionCounter(int limit) : limit_(limit) {}
    bool Open(const std::string &address);  // false: the address has its limit open
    void Close(const std::string &address);

private:
    int limit_;
    std::unordered_map<std::string, int> open_;
    std::mutex mutex_;
};
