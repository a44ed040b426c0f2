#pragma once
// Gives back the pages only starting needed. Loading the shared libraries and running their
// initialisers maps in much of the code and read-only data of libraries velmorad never calls
// afterwards (Xerces-C brings in libcurl and, through it, TLS, LDAP and Kerberos libraries).
// Those pages are the files' own, unchanged: unmapped, whatever the run still uses is mapped
// again from the page cache when touched, and the rest stops counting as resident.

// Unmaps the pages of every private, read-only file mapping that holds no page of its own
// (no page written since it was mapped, so every page equals the file's). Other threads may
// run meanwhile (what they touch is mapped again), but none may load a library at that time.
// Returns the number of mappings released.
int releaseStartupPages();
