#pragma once

#include <optional>
#include <utility>

namespace VelmServer {

// Marks a store call that failed in the database; the cause is logged where it happened.
struct StoreFailure
{
};
inline constexpr StoreFailure storeFailure{};

// A store call's outcome: its value, or a failure of the database. A lookup
// that may find nothing returns StoreResult<std::optional<Row>>, so "not
// there" and "could not look" never read alike.
template <typename T>
class [[nodiscard]] StoreResult
{
public:
    StoreResult(T value) : m_value(std::move(value)) {}
    StoreResult(StoreFailure) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &operator*() const & { return *m_value; }
    T &operator*() & { return *m_value; }
    T &&operator*() && { return std::move(*m_value); }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }

private:
    std::optional<T> m_value;
};

// A write's outcome.
template <>
class [[nodiscard]] StoreResult<void>
{
public:
    StoreResult() = default;
    StoreResult(StoreFailure) : m_ok(false) {}
    // Writes chain with &&; false means the chain failed.
    static StoreResult<void> of(bool ok) { return ok ? StoreResult<void>() : StoreResult<void>(storeFailure); }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }

private:
    bool m_ok = true;
};

using StoreStatus = StoreResult<void>;

} // namespace VelmServer
