#pragma once

// One visitor made of lambdas, for std::visit over an event variant.
template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;
