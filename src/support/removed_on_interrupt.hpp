// Files that an interrupted run must not leave behind: the part files of an output not yet
// moved into place. Where the process can be ended by a signal (Ctrl+C, a hang-up, a request
// to terminate, standard output closed), the files named by the live guards are removed
// first, then the process ends the way it would have without us. Guards may be made and ended
// on any thread; up to 4 names for each of 64 threads are held at a time (an output, its
// spool and its picture per job).
#pragma once

#include <string>

namespace tavrin {

class RemovedOnInterrupt {
public:
    // Names path for removal until the guard ends; an empty path names nothing.
    explicit RemovedOnInterrupt(const std::string& path);
    ~RemovedOnInterrupt();
    RemovedOnInterrupt(const RemovedOnInterrupt&) = delete;
    RemovedOnInterrupt& operator=(const RemovedOnInterrupt&) = delete;

private:
    int slot_ = -1;
};

}  // namespace tavrin
