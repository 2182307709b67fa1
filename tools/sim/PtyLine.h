// The line as a pseudo-terminal: the PC opens the slave like a serial port, any number of
// times; "hangup" replaces the pair, like a port that disappears and comes back.
#pragma once

#include "Line.h"

namespace sim {

class PtyLine : public Line {
public:
    explicit PtyLine(std::string linkPath) : linkPath_(std::move(linkPath)) {}
    ~PtyLine() override;

    bool open(std::string& error);
    void addPollFds(std::vector<pollfd>& fds, bool wantWrite) const override;
    void handlePoll(const std::vector<pollfd>& fds) override;
    bool connected() const override { return master_ >= 0; }
    ssize_t write(const char* data, size_t size) override;
    void drop() override;
    bool hangup(std::string& error) override;

private:
    void closeAll();
    void readWatch();
    bool updateLink(std::string& error);

    std::string linkPath_;
    std::string slavePath_;
    int master_ = -1;
    int keeper_ = -1;     // our own slave descriptor: the master then never reports a hang-up
    int watch_ = -1;      // inotify: tells when the PC opens and closes the slave
    int openers_ = 0;     // slave descriptors besides the keeper
    int unannounced_ = 0; // openers counted from their bytes, before their open event
};

} // namespace sim
