#pragma once

#include <QTest>

#include <tuple>

// Data-driven tables in a line each: the columns of a _data() function, a row of it (each value of
// its column's type; a string literal stands for a QString), and the current row's values in the
// test function, `auto [a, b] = fetch<A, B>("a", "b");`.
template <typename... T> void columns(const auto&... names)
{
    (QTest::addColumn<T>(names), ...);
}

template <typename... Values> void row(const char* name, const Values&... values)
{
    (QTest::newRow(name) << ... << values);
}

template <typename... T> auto fetch(const auto&... names)
{
    return std::tuple<T...> { *static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))... };
}
