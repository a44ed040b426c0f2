#pragma once
// Socket error codes and their texts.
//
// Every socket failure is reported with the code and the text of the Windows socket error it
// corresponds to ("WSAEACCES\nPermission Denied: Access in use"), so the texts the program
// keeps in `lastError` read the same on every platform. Linux errno values are turned into
// those codes at the failing call (socketErrorFromErrno).

#include <string>

// The calling thread's last socket error code, as the failing call left it.
int lastSocketError();
void setLastSocketError(int code);

// Text of the calling thread's last socket error. For a code the table does not know, the
// thread's last error becomes 0 and the text is empty.
std::string errorText();

// Text of `code`; empty when the table does not know it. Changes nothing.
std::string errorTextOf(int code);

// The socket error code for a Linux errno value. An errno without a counterpart maps to
// 10107 ("System call failure"), so that a failure never goes without a text.
int socketErrorFromErrno(int errnoValue);

// Records `errnoValue` as the thread's last socket error and returns its text.
std::string recordErrno(int errnoValue);

// How many rows the error table has (50).
int socketErrorTableSize();
