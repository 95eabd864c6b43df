// The verifying processes: a fixed number of children of the server, each
// running the game's verifier on one game at a time (the simulation keeps
// its state in the game's globals, so a process is the unit that can play
// games side by side). A game that runs past the time limit or a process
// that dies costs that one process, which is started again; the server
// goes on.
//
// Before a game's body is read, its sender takes a place among those being
// verified or waiting (Reserve); when all places are taken the request is
// refused at once (503) instead of waiting without bound.
//
// Depends on: server/verdict.h; POSIX processes and pipes.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "server/verdict.h"

// The child's side: reads games from standard input and writes verdicts to
// standard output until its input ends. Returns the process's exit status.
int RunVerifyWorker();

class VerifierPool {
public:
    // program: this server's executable, started with --verify-worker.
    VerifierPool(std::string program, int workers, int queueLength, double verifySeconds);
    ~VerifierPool();
    bool Start(std::string *error);

    // A place for one game, verified or waiting; false when there is none.
    bool Reserve();
    // Gives a place back.
    void Release();
    // Verifies a game within a place taken by Reserve (waiting for a
    // process while all are busy).
    s_verdict Verify(const std::string &body);

    int Workers() const { return int(workers_.size()); }
    int Queued();  // games verified or waiting right now

private:
    struct Worker {
        pid_t pid = -1;
        int in = -1, out = -1;  // the child's standard input and output
    };
    bool Spawn(Worker *worker);
    void Stop(Worker *worker);
    bool Exchange(Worker *worker, const std::string &body, s_verdict *verdict, bool *timedOut);

    std::string program_;
    int queueLength_;
    double verifySeconds_;
    std::vector<Worker> workers_;
    std::vector<int> idle_;  // indices into workers_
    int reserved_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
};
