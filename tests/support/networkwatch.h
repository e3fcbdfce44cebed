#pragma once

// Counts every attempt of this process to open an Internet socket or to connect one, from the
// moment a watch starts: the program must never reach the network on its own.
class NetworkWatch {
public:
    NetworkWatch();
    int attempts() const;

private:
    int m_start;
};
