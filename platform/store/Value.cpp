#include "Value.h"

#include <fmt/format.h>

#include <cstring>

namespace jw::store {

Value defaultValueFor(AttributeType type) {
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            return std::int64_t{0};
        case AttributeType::Boolean:
            return false;
        case AttributeType::Double:
            return 0.0;
        case AttributeType::String:
        case AttributeType::Date:
        case AttributeType::Binary:
            return std::monostate{};
    }
    return std::monostate{};
}

namespace {

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A number for the kinds that compare numerically; booleans count as 0 and 1.
bool numeric(const Value& v, double& out) {
    if (auto i = std::get_if<std::int64_t>(&v)) {
        out = double(*i);
        return true;
    }
    if (auto d = std::get_if<double>(&v)) {
        out = *d;
        return true;
    }
    if (auto b = std::get_if<bool>(&v)) {
        out = *b ? 1.0 : 0.0;
        return true;
    }
    if (auto t = std::get_if<Date>(&v)) {
        out = t->secondsSinceEpoch;
        return true;
    }
    return false;
}

}  // namespace

int compareValues(const Value& a, const Value& b) {
    const bool absentA = isAbsent(a), absentB = isAbsent(b);
    if (absentA || absentB) {
        return absentA == absentB ? 0 : (absentA ? -1 : 1);
    }
    if (a.index() == b.index()) {
        // The common case, one attribute against itself: compare the held values directly.
        switch (a.index()) {
            case 1:
                return threeWay(*std::get_if<std::int64_t>(&a), *std::get_if<std::int64_t>(&b));
            case 2:
                return threeWay(*std::get_if<double>(&a), *std::get_if<double>(&b));
            case 3:
                return threeWay(*std::get_if<bool>(&a), *std::get_if<bool>(&b));
            case 4: {
                // std::string compares as unsigned bytes, which for UTF-8 is code point order:
                // the same as SQLite's BINARY collation.
                const int c = std::get_if<std::string>(&a)->compare(*std::get_if<std::string>(&b));
                return c < 0 ? -1 : (c > 0 ? 1 : 0);
            }
            case 5:
                return threeWay(std::get_if<Date>(&a)->secondsSinceEpoch,
                                std::get_if<Date>(&b)->secondsSinceEpoch);
            case 6: {
                const auto& x = std::get_if<Blob>(&a)->bytes;
                const auto& y = std::get_if<Blob>(&b)->bytes;
                // memcmp must not see the null data of an empty blob, even for zero bytes.
                const std::size_t common = std::min(x.size(), y.size());
                const int c = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
                if (c != 0) {
                    return c < 0 ? -1 : 1;
                }
                return threeWay(x.size(), y.size());
            }
            default:
                break;
        }
    }
    double x = 0, y = 0;
    if (numeric(a, x) && numeric(b, y)) {
        return threeWay(x, y);
    }
    // Mixed kinds never occur within one attribute; order by kind to stay total.
    return threeWay(a.index(), b.index());
}

std::string describeValue(const Value& v) {
    struct Visitor {
        std::string operator()(std::monostate) const { return "nil"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return fmt::format("{}", d); }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(const std::string& s) const { return fmt::format("\"{}\"", s); }
        std::string operator()(const Date& d) const { return d.iso8601(); }
        std::string operator()(const Blob& b) const {
            return fmt::format("<{} bytes>", b.bytes.size());
        }
    };
    return std::visit(Visitor{}, v);
}

std::optional<std::string> stringOf(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) {
        return *s;
    }
    return std::nullopt;
}

std::optional<Date> dateOf(const Value& v) {
    if (auto d = std::get_if<Date>(&v)) {
        return *d;
    }
    return std::nullopt;
}

std::int64_t integerOf(const Value& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) {
        return *i;
    }
    if (auto b = std::get_if<bool>(&v)) {
        return *b ? 1 : 0;
    }
    return 0;
}

bool booleanOf(const Value& v) {
    if (auto b = std::get_if<bool>(&v)) {
        return *b;
    }
    if (auto i = std::get_if<std::int64_t>(&v)) {
        return *i != 0;
    }
    return false;
}

}  // namespace jw::store
