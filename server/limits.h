// Every limit the server keeps, in one place. The defaults of the ones the
// command line can change are here too; tests/server/test_server.py meets
// each of them.
#pragma once

#include <cstddef>

// A request body: the largest file of four hours of busy play. A longer
// one is refused (413) from its Content-Length, before it is read, or as
// soon as a body without one passes it.
constexpr size_t kMaxBodyBytes = 2u << 20;

// Reading one request, its head and its body, from its first byte: a
// client that takes longer (one that sends a byte a second) is answered
// 408 and its connection closed.
constexpr int kRequestSeconds = 10;
// A connection that waits for its next request this long is closed.
constexpr int kKeepAliveSeconds = 5;
// Connections at once from one address; more are answered 429 and closed.
constexpr int kConnectionsPerAddress = 16;
// Threads that read requests and write answers (verifying is done by the
// verifying processes, which these threads only wait for).
constexpr int kConnectionThreads = 64;

// One game's verification: past this its process is stopped and started
// again, and the game answered 503 (four hours of play, the most the
// reader takes, verify in about 10 s on one core of a small machine).
constexpr int kVerifySeconds = 60;
// Games waiting for a verifying process, beyond those being verified;
// when all are taken a submission is answered 503 with Retry-After.
constexpr int kDefaultQueueLength = 16;
constexpr int kBusyRetrySeconds = 5;

// Per address: submissions a minute (a burst of as many, then one every
// 60 / n seconds) and requests of any kind a second (a burst of ten times
// as many). Past them: 429 with Retry-After.
constexpr int kDefaultSubmitsPerMinute = 20;
constexpr int kDefaultRequestsPerSecond = 20;
// Addresses remembered for the rate limits (in memory only); the ones
// idle longest are forgotten first.
constexpr size_t kMaxTrackedAddresses = 100000;

// Entries a table keeps: a game below the thousandth is verified but not
// stored, and the entry a new game pushes out is deleted with its replay.
constexpr int kTableKeep = 1000;
// Entries one request of the table can ask for.
constexpr int kDefaultTableLimit = 10;
constexpr int kMaxTableLimit = 100;
