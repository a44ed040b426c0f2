#pragma once
// Giving up privilege for good. The program needs CAP_NET_RAW for one call only (opening the
// packet socket, capture_socket.h); right after it, before threads or plugins exist, main drops
// every capability so no code loaded later can use one.

#include <string>

// Empties the permitted, effective and inheritable sets and the ambient set, and removes every
// capability from the bounding set where that is allowed (it needs CAP_SETPCAP; without it the
// bounding set stays, which is harmless once the other sets are empty). As root it also sets
// the secure bits that keep a later exec from regaining capabilities, where allowed.
// Capabilities belong to threads: call it while the process has one thread. Returns false,
// with the reason in `failure`, when the sets could not be emptied.
bool dropAllCapabilities(std::string* failure = nullptr);
