#pragma once

#include <cstddef>

// What a connection's reader reports, on the reader thread.
class TCPIPClientDelegate {
public:
    virtual ~TCPIPClientDelegate() = default;
    // One received chunk.
    virtual void read(const unsigned char* bytes, size_t length) { (void)bytes, (void)length; }
    // The connection has ended; called once, as the reader's last report.
    virtual void closed() {}
};
