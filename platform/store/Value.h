#pragma once
// The value of one stored attribute. An absent value (`std::monostate`) is allowed for the
// optional types (string, date, binary); scalars always hold a value.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Date.h"

namespace jw::store {

enum class AttributeType { Integer16, Integer32, Integer64, Boolean, Double, String, Date, Binary };

struct Blob {
    std::vector<unsigned char> bytes;
    bool operator==(const Blob&) const = default;
};

using Value = std::variant<std::monostate, std::int64_t, double, bool, std::string, Date, Blob>;

inline bool isAbsent(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

// The value a new object holds for an attribute of `type`: 0 / false for scalars, absent
// for the optional types.
Value defaultValueFor(AttributeType type);

// Orders two values of the same attribute as the store does: absent first, numbers and dates
// numerically, booleans false before true, strings by code point (byte-wise UTF-8), binary
// byte-wise. Returns <0, 0 or >0.
int compareValues(const Value& a, const Value& b);

// A readable rendering for dumps, logs and errors.
std::string describeValue(const Value& v);

// Typed readers that tolerate absence (and a value of another kind) by answering nothing.
std::optional<std::string> stringOf(const Value& v);
std::optional<Date> dateOf(const Value& v);
std::int64_t integerOf(const Value& v);
bool booleanOf(const Value& v);

}  // namespace jw::store
