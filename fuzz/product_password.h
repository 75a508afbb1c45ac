// The database password the product's files carry; the targets try it first.
#pragma once

namespace fuzz {

inline constexpr char kProductPassword[] = "plmoknijbuhvygc,t.f/";

}  // namespace fuzz
