#pragma once

#include <QObject>

namespace VelmAccount {
Q_NAMESPACE

// The numbers are part of the signal contract. Checking: the stored tokens
// are being read (a keyring may take its time); signed out meanwhile.
enum class AuthState { Unknown = 0, Unauthenticated = 1, Checking = 2, Authenticated = 3 };
Q_ENUM_NS(AuthState)

enum class RefreshResult { Success = 0, Rejected = 1, Failed = 2 };
Q_ENUM_NS(RefreshResult)

} // namespace VelmAccount
