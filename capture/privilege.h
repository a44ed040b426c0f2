#pragma once
// Giving up privilege for good. The program needs CAP_NET_RAW for one call only (opening the
// packet socket, capture_socket.h); right after it, before threads or plugins exist, main drops
// every capability so no code loaded later can use one.

#include <initializer_list>
#include <string>

// Empties the permitted, effective and inheritable sets and the ambient set, and removes every
// capability from the bounding set where that is allowed (it needs CAP_SETPCAP; without it the
// bounding set stays, which is harmless once the other sets are empty). As root it also sets
// the secure bits that keep a later exec from regaining capabilities, where allowed.
// Capabilities belong to threads: call it while the process has one thread. Returns false,
// with the reason in `failure`, when the sets could not be emptied.
bool dropAllCapabilities(std::string* failure = nullptr);

// The same for a helper process that keeps a few capabilities (numbers of linux/capability.h):
// every other one leaves its permitted, effective, inheritable and ambient sets, and the
// bounding set where allowed; a later exec gains nothing (no_new_privs). False, with the
// reason, when a kept one is not held or the sets could not be set.
bool keepOnlyCapabilities(std::initializer_list<int> kept, std::string* failure = nullptr);
