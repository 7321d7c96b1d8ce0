#pragma once

// A callback made of an object and one of its member functions. It is empty
// until bound, compares equal to another delegate bound to the same object and
// method, and costs a pointer call to invoke: no allocation, no type erasure
// beyond a thunk.
namespace fastdelegate {

namespace detail {

class GenericClass;
// Any member function pointer converts to this type and back unchanged.
using GenericMethod = void (GenericClass::*)();

// The round trip through GenericMethod is exact; the compiler's warning about
// calling through the converted type does not apply, as we never do.
template <class Method>
GenericMethod toGeneric(Method method) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<GenericMethod>(method);
#pragma GCC diagnostic pop
}

template <class Method>
Method fromGeneric(GenericMethod method) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<Method>(method);
#pragma GCC diagnostic pop
}

} // namespace detail

template <class P1, class P2, class R = void>
class FastDelegate2 {
public:
    FastDelegate2() = default;

    template <class X, class Y>
    FastDelegate2(Y* object, R (X::*method)(P1, P2)) {
        bind(object, method);
    }

    template <class X, class Y>
    void bind(Y* object, R (X::*method)(P1, P2)) {
        m_object = static_cast<X*>(object);
        m_method = detail::toGeneric(method);
        m_thunk = &invoke<X>;
    }

    void clear() { *this = FastDelegate2(); }
    bool empty() const { return m_thunk == nullptr; }
    explicit operator bool() const { return !empty(); }

    R operator()(P1 p1, P2 p2) const { return m_thunk(m_object, m_method, p1, p2); }

    bool operator==(const FastDelegate2& other) const {
        return m_object == other.m_object && m_thunk == other.m_thunk && m_method == other.m_method;
    }
    bool operator!=(const FastDelegate2& other) const { return !(*this == other); }

private:
    using Thunk = R (*)(void*, detail::GenericMethod, P1, P2);

    template <class X>
    static R invoke(void* object, detail::GenericMethod generic, P1 p1, P2 p2) {
        const auto method = detail::fromGeneric<R (X::*)(P1, P2)>(generic);
        return (static_cast<X*>(object)->*method)(p1, p2);
    }

    void* m_object = nullptr;
    detail::GenericMethod m_method = nullptr;
    Thunk m_thunk = nullptr;
};

template <class P1, class P2, class P3, class R = void>
class FastDelegate3 {
public:
    FastDelegate3() = default;

    template <class X, class Y>
    FastDelegate3(Y* object, R (X::*method)(P1, P2, P3)) {
        bind(object, method);
    }

    template <class X, class Y>
    void bind(Y* object, R (X::*method)(P1, P2, P3)) {
        m_object = static_cast<X*>(object);
        m_method = detail::toGeneric(method);
        m_thunk = &invoke<X>;
    }

    void clear() { *this = FastDelegate3(); }
    bool empty() const { return m_thunk == nullptr; }
    explicit operator bool() const { return !empty(); }

    R operator()(P1 p1, P2 p2, P3 p3) const { return m_thunk(m_object, m_method, p1, p2, p3); }

    bool operator==(const FastDelegate3& other) const {
        return m_object == other.m_object && m_thunk == other.m_thunk && m_method == other.m_method;
    }
    bool operator!=(const FastDelegate3& other) const { return !(*this == other); }

private:
    using Thunk = R (*)(void*, detail::GenericMethod, P1, P2, P3);

    template <class X>
    static R invoke(void* object, detail::GenericMethod generic, P1 p1, P2 p2, P3 p3) {
        const auto method = detail::fromGeneric<R (X::*)(P1, P2, P3)>(generic);
        return (static_cast<X*>(object)->*method)(p1, p2, p3);
    }

    void* m_object = nullptr;
    detail::GenericMethod m_method = nullptr;
    Thunk m_thunk = nullptr;
};

template <class X, class Y, class P1, class P2, class R>
FastDelegate2<P1, P2, R> MakeDelegate(Y* object, R (X::*method)(P1, P2)) {
    return FastDelegate2<P1, P2, R>(object, method);
}

template <class X, class Y, class P1, class P2, class P3, class R>
FastDelegate3<P1, P2, P3, R> MakeDelegate(Y* object, R (X::*method)(P1, P2, P3)) {
    return FastDelegate3<P1, P2, P3, R>(object, method);
}

} // namespace fastdelegate
