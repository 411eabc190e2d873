#pragma once

#include <Lanyard/ComponentError.h>

#include <utility>
#include <variant>

namespace Lanyard {

/**
 * What a look-up or a change gives without throwing: a value of type @p T, or the
 * ComponentError that the throwing member of the same work would raise. Result<void> holds no
 * value, only whether it failed.
 */
template<typename T>
class Result
{
public:
    /// A success holding @p value.
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    /// A failure holding @p error.
    Result(ComponentError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    /// True when it holds a value.
    bool ok() const noexcept { return m_state.index() == 0; }
    /// ok(), for `if (result)`.
    explicit operator bool() const noexcept { return ok(); }

    /// The value; throws the held ComponentError when it failed.
    const T &value() const
    {
        if (!ok())
            throw std::get<1>(m_state);
        return std::get<0>(m_state);
    }
    /// The value, or @p fallback when it failed.
    T valueOr(T fallback) const { return ok() ? std::get<0>(m_state) : std::move(fallback); }
    /// The value's members; throws the held ComponentError when it failed.
    const T *operator->() const { return &value(); }
    /// The value; throws the held ComponentError when it failed.
    const T &operator*() const { return value(); }

    /// The error; only when ok() is false.
    const ComponentError &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, ComponentError> m_state;
};

/// A Result of work that gives no value: it succeeded, or holds the ComponentError.
template<>
class Result<void>
{
public:
    /// A success.
    Result() = default;
    /// A failure holding @p error.
    Result(ComponentError error) : m_error(std::move(error)), m_failed(true) {}

    /// True when it succeeded.
    bool ok() const noexcept { return !m_failed; }
    /// ok(), for `if (result)`.
    explicit operator bool() const noexcept { return ok(); }
    /// Throws the held ComponentError when it failed.
    void value() const
    {
        if (m_failed)
            throw m_error;
    }
    /// The error; only when ok() is false.
    const ComponentError &error() const { return m_error; }

private:
    ComponentError m_error{ErrorCode::InvalidArgument};
    bool m_failed = false;
};

} // namespace Lanyard
