#pragma once

#include <QObject>

namespace VelmAccount {
Q_NAMESPACE

// Value 2 is never entered; the numbers are part of the signal contract.
enum class AuthState { Unknown = 0, Unauthenticated = 1, Authenticated = 3 };
Q_ENUM_NS(AuthState)

enum class RefreshResult { Success = 0, Rejected = 1, Failed = 2 };
Q_ENUM_NS(RefreshResult)

} // namespace VelmAccount
