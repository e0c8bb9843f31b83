#ifndef KEL_SRC_PLATFORM_SOCKET_ERRORS_H
#define KEL_SRC_PLATFORM_SOCKET_ERRORS_H

// The Windows Sockets error codes that sockets report on every platform, each listed once as
// X(name, code). The name is the code's symbolic name as Socket::resolveSocketError gives it; in the
// first list it is also the errno value of the same meaning, which the POSIX layer turns into the code.
// Expanding a list with a macro that only stringizes the name (#name) needs no system header.

// Codes with an errno counterpart of the same name.
#define KEL_SOCKET_ERRNO_CODES(X)                                                                            \
    X(EINTR, 10004)                                                                                          \
    X(EBADF, 10009)                                                                                          \
    X(EACCES, 10013)                                                                                         \
    X(EFAULT, 10014)                                                                                         \
    X(EINVAL, 10022)                                                                                         \
    X(EMFILE, 10024)                                                                                         \
    X(EWOULDBLOCK, 10035)                                                                                    \
    X(EINPROGRESS, 10036)                                                                                    \
    X(EALREADY, 10037)                                                                                       \
    X(ENOTSOCK, 10038)                                                                                       \
    X(EDESTADDRREQ, 10039)                                                                                   \
    X(EMSGSIZE, 10040)                                                                                       \
    X(EPROTOTYPE, 10041)                                                                                     \
    X(ENOPROTOOPT, 10042)                                                                                    \
    X(EPROTONOSUPPORT, 10043)                                                                                \
    X(ESOCKTNOSUPPORT, 10044)                                                                                \
    X(EOPNOTSUPP, 10045)                                                                                     \
    X(EPFNOSUPPORT, 10046)                                                                                   \
    X(EAFNOSUPPORT, 10047)                                                                                   \
    X(EADDRINUSE, 10048)                                                                                     \
    X(EADDRNOTAVAIL, 10049)                                                                                  \
    X(ENETDOWN, 10050)                                                                                       \
    X(ENETUNREACH, 10051)                                                                                    \
    X(ENETRESET, 10052)                                                                                      \
    X(ECONNABORTED, 10053)                                                                                   \
    X(ECONNRESET, 10054)                                                                                     \
    X(ENOBUFS, 10055)                                                                                        \
    X(EISCONN, 10056)                                                                                        \
    X(ENOTCONN, 10057)                                                                                       \
    X(ESHUTDOWN, 10058)                                                                                      \
    X(ETOOMANYREFS, 10059)                                                                                   \
    X(ETIMEDOUT, 10060)                                                                                      \
    X(ECONNREFUSED, 10061)                                                                                   \
    X(ELOOP, 10062)                                                                                          \
    X(ENAMETOOLONG, 10063)                                                                                   \
    X(EHOSTDOWN, 10064)                                                                                      \
    X(EHOSTUNREACH, 10065)                                                                                   \
    X(ENOTEMPTY, 10066)                                                                                      \
    X(EUSERS, 10068)                                                                                         \
    X(EDQUOT, 10069)                                                                                         \
    X(ESTALE, 10070)                                                                                         \
    X(EREMOTE, 10071)

// Codes that only Windows Sockets and the resolver produce.
#define KEL_SOCKET_OTHER_CODES(X)                                                                            \
    X(EPROCLIM, 10067)                                                                                       \
    X(WSASYSNOTREADY, 10091)                                                                                 \
    X(WSAVERNOTSUPPORTED, 10092)                                                                             \
    X(WSANOTINITIALISED, 10093)                                                                              \
    X(WSAEDISCON, 10101)                                                                                     \
    X(HOST_NOT_FOUND, 11001)                                                                                 \
    X(TRY_AGAIN, 11002)                                                                                      \
    X(NO_RECOVERY, 11003)

#endif
