#include "ObjectChange.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "platform/foundation/Hex.h"

namespace jw::sync {

using nlohmann::json;

namespace {

json stampJson(const Stamp& s) {
    return json::array({s.counter, s.device});
}

Stamp stampFrom(const json& counter, const json& device) {
    if (!counter.is_number_integer() || !device.is_string() ||
        device.get_ref<const std::string&>().empty()) {
        throw RefusedFile("a stamp must be [counter, device]");
    }
    return Stamp{counter.get<std::int64_t>(), device.get<std::string>()};
}

Stamp stampFrom(const json& j) {
    if (!j.is_array() || j.size() != 2) {
        throw RefusedFile("a stamp must be [counter, device]");
    }
    return stampFrom(j[0], j[1]);
}

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if ((c >> 5) == 0x6) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c >> 4) == 0xE) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c >> 3) == 0x1E) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc >> 6) != 0x2) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

void appendHex(std::string& out, const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out += hexDigit(data[i] >> 4);
        out += hexDigit(data[i]);
    }
}

std::string toHex(const unsigned char* data, std::size_t size) {
    std::string out;
    out.reserve(size * 2);
    appendHex(out, data, size);
    return out;
}

// JSON's string form of valid UTF-8: quotes, backslashes and control characters escaped,
// everything else as it is (as nlohmann's dump writes it).
void appendJsonString(std::string& out, const std::string& s) {
    out += '"';
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (u < 0x20) {
                    out += "\\u00";
                    out += hexDigit(u >> 4);
                    out += hexDigit(u);
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, std::int64_t n) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
    out.append(buffer, end);
}

// The shortest text that reads back as `d`, written as a fraction even when whole ("2.0"), as
// nlohmann's dump writes it: read back, it is a floating-point number again.
void appendNumber(std::string& out, double d) {
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
    out.append(buffer, end);
    if (std::find_if(buffer, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
        out += ".0";
    }
}

std::vector<unsigned char> fromHex(const std::string& hex) {
    if (hex.size() % 2) {
        throw RefusedFile("hex text of odd length");
    }
    auto digit = [](char c) {
        const int value = hexDigitValue(c);
        if (value < 0) {
            throw RefusedFile("not a hex digit");
        }
        return value;
    };
    std::vector<unsigned char> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<unsigned char>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    }
    return out;
}

std::optional<Stamp> later(const std::optional<Stamp>& a, const std::optional<Stamp>& b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return *a < *b ? b : a;
}

}  // namespace

std::optional<Stamp> ObjectChange::stampOf(const std::string& key) const {
    auto it = values.find(key);
    if (it != values.end() && it->second.stamp) {
        return it->second.stamp;
    }
    return created;
}

void ObjectChange::absorb(const ObjectChange& other) {
    // Resolve every key against the creation stamps before they merge.
    std::map<std::string, KeyChange> merged;
    for (const ObjectChange* side : {static_cast<const ObjectChange*>(this), &other}) {
        for (const auto& [key, change] : side->values) {
            KeyChange explicitChange{change.value, side->stampOf(key)};
            auto it = merged.find(key);
            if (it == merged.end() ||
                (explicitChange.stamp &&
                 (!it->second.stamp || *it->second.stamp < *explicitChange.stamp))) {
                merged[key] = std::move(explicitChange);
            }
        }
    }
    if (!created || (other.created && *other.created < *created)) {
        created = other.created ? other.created : created;
    }
    removed = later(removed, other.removed);
    // Keys whose stamp is the (final) creation stamp need not repeat it.
    for (auto& [key, change] : merged) {
        if (change.stamp && created && *change.stamp == *created) {
            change.stamp.reset();
        }
    }
    values = std::move(merged);
}

std::int64_t ObjectChange::maxCounter() const {
    std::int64_t m = 0;
    if (created)
        m = std::max(m, created->counter);
    if (removed)
        m = std::max(m, removed->counter);
    for (const auto& [key, change] : values) {
        if (change.stamp)
            m = std::max(m, change.stamp->counter);
    }
    return m;
}

json ObjectChange::toJson() const {
    json j = {{"e", entity}, {"g", globalID}};
    if (created)
        j["x"] = stampJson(*created);
    if (removed)
        j["r"] = stampJson(*removed);
    if (!values.empty()) {
        json v = json::object();
        for (const auto& [key, change] : values) {
            json entry = json::array({change.value});
            if (change.stamp) {
                entry.push_back(change.stamp->counter);
                entry.push_back(change.stamp->device);
            }
            v[key] = std::move(entry);
        }
        j["v"] = std::move(v);
    }
    return j;
}

ObjectChange ObjectChange::fromJson(const json& j) {
    return fromJson(json(j));
}

ObjectChange ObjectChange::fromJson(json&& j) {
    if (!j.is_object() || !j.contains("e") || !j["e"].is_string() || !j.contains("g") ||
        !j["g"].is_string()) {
        throw RefusedFile("an object change needs \"e\" and \"g\"");
    }
    ObjectChange c;
    c.entity = j["e"].get<std::string>();
    c.globalID = j["g"].get<std::string>();
    if (j.contains("x"))
        c.created = stampFrom(j["x"]);
    if (j.contains("r"))
        c.removed = stampFrom(j["r"]);
    if (j.contains("v")) {
        if (!j["v"].is_object()) {
            throw RefusedFile("\"v\" must be an object");
        }
        for (auto& [key, entry] : j["v"].items()) {
            if (!entry.is_array() || (entry.size() != 1 && entry.size() != 3)) {
                throw RefusedFile("a value must be [value] or [value, counter, device]");
            }
            KeyChange change{std::move(entry[0]), std::nullopt};
            if (entry.size() == 3) {
                change.stamp = stampFrom(entry[1], entry[2]);
            } else if (!c.created) {
                throw RefusedFile("a value without a stamp needs a creation stamp");
            }
            c.values.emplace(key, std::move(change));
        }
    }
    if (!c.created && !c.removed && c.values.empty()) {
        throw RefusedFile("an object change that changes nothing");
    }
    return c;
}

PendingChangeText::PendingChangeText(Kind kind, const Stamp& stamp, std::string_view entity,
                                     std::string_view globalID) {
    text_.reserve(128);
    text_ += '#';
    text_ += static_cast<char>(kind);
    text_ += ' ';
    appendNumber(text_, stamp.counter);
    text_ += ' ';
    text_ += entity;
    text_ += '\n';
    text_ += stamp.device;
    text_ += '\n';
    text_ += globalID;
    text_ += '\n';
}

std::string& PendingChangeText::key(std::string_view name) {
    text_ += name;
    text_ += '\t';
    return text_;
}

std::optional<PendingChangeView> readPendingChange(std::string_view text) {
    if (text.empty() || text.front() != '#') {
        return std::nullopt;
    }
    auto refuse = [] { return RefusedFile("a pending change that cannot be read"); };
    // The next piece up to `end`, the rest after it.
    auto next = [&](char end) {
        const auto at = text.find(end);
        if (at == text.npos) {
            throw refuse();
        }
        const auto piece = text.substr(0, at);
        text.remove_prefix(at + 1);
        return piece;
    };
    PendingChangeView view;
    text.remove_prefix(1);
    const auto kind = next(' ');
    if (kind != "c" && kind != "u" && kind != "r") {
        throw refuse();
    }
    view.kind = static_cast<PendingChangeText::Kind>(kind.front());
    const auto counter = next(' ');
    if (std::from_chars(counter.data(), counter.data() + counter.size(), view.stamp.counter).ptr !=
            counter.data() + counter.size() ||
        counter.empty()) {
        throw refuse();
    }
    view.entity = next('\n');
    view.stamp.device = std::string(next('\n'));
    view.globalID = next('\n');
    while (!text.empty()) {
        const auto key = next('\t');
        view.values.emplace_back(key, next('\n'));
    }
    if (view.stamp.device.empty() || view.entity.empty() ||
        (view.kind == PendingChangeText::Kind::removed && !view.values.empty())) {
        throw refuse();
    }
    return view;
}

ObjectChange pendingChangeFrom(std::string_view text) {
    const auto view = readPendingChange(text);
    if (!view) {
        return ObjectChange::fromJson(json::parse(text));
    }
    ObjectChange change;
    change.entity = view->entity;
    change.globalID = view->globalID;
    using Kind = PendingChangeText::Kind;
    if (view->kind == Kind::created) {
        change.created = view->stamp;
    } else if (view->kind == Kind::removed) {
        change.removed = view->stamp;
    }
    const auto keyStamp =
        view->kind == Kind::updated ? std::optional<Stamp>(view->stamp) : std::nullopt;
    for (const auto& [key, value] : view->values) {
        change.values[std::string(key)] = {json::parse(value), keyStamp};
    }
    return change;
}

json encodeValue(store::AttributeType type, const store::Value& value) {
    using store::AttributeType;
    if (store::isAbsent(value)) {
        return nullptr;
    }
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            return store::integerOf(value);
        case AttributeType::Boolean:
            return store::booleanOf(value);
        case AttributeType::Double:
            if (auto d = std::get_if<double>(&value); d && std::isfinite(*d)) {
                return *d;
            }
            return 0.0;
        case AttributeType::String: {
            const auto& s = std::get<std::string>(value);
            if (validUtf8(s)) {
                return s;
            }
            return json{{"h", toHex(reinterpret_cast<const unsigned char*>(s.data()), s.size())}};
        }
        case AttributeType::Date:
            return json{{"t", std::get<Date>(value).secondsSinceEpoch}};
        case AttributeType::Binary: {
            const auto& b = std::get<store::Blob>(value).bytes;
            return json{{"b", toHex(b.data(), b.size())}};
        }
    }
    return nullptr;
}

void appendEncodedValue(std::string& out, store::AttributeType type, const store::Value& value) {
    using store::AttributeType;
    if (store::isAbsent(value)) {
        out += "null";
        return;
    }
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            appendNumber(out, store::integerOf(value));
            return;
        case AttributeType::Boolean:
            out += store::booleanOf(value) ? "true" : "false";
            return;
        case AttributeType::Double:
            if (auto d = std::get_if<double>(&value); d && std::isfinite(*d)) {
                appendNumber(out, *d);
            } else {
                out += "0.0";
            }
            return;
        case AttributeType::String: {
            const auto& s = std::get<std::string>(value);
            if (validUtf8(s)) {
                appendJsonString(out, s);
            } else {
                out += "{\"h\":\"";
                appendHex(out, reinterpret_cast<const unsigned char*>(s.data()), s.size());
                out += "\"}";
            }
            return;
        }
        case AttributeType::Date:
            out += "{\"t\":";
            appendNumber(out, std::get<Date>(value).secondsSinceEpoch);
            out += '}';
            return;
        case AttributeType::Binary: {
            const auto& b = std::get<store::Blob>(value).bytes;
            out += "{\"b\":\"";
            appendHex(out, b.data(), b.size());
            out += "\"}";
            return;
        }
    }
    out += "null";
}

bool encodesAsDefault(store::AttributeType type, const store::Value& value) {
    using store::AttributeType;
    if (store::isAbsent(value)) {
        return true;
    }
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            return store::integerOf(value) == 0;
        case AttributeType::Boolean:
            return !store::booleanOf(value);
        case AttributeType::Double: {
            const auto* d = std::get_if<double>(&value);
            return !d || !std::isfinite(*d) || (*d == 0 && !std::signbit(*d));
        }
        case AttributeType::String:
        case AttributeType::Date:
        case AttributeType::Binary:
            return false;
    }
    return false;
}

store::Value decodeValue(store::AttributeType type, const json& j) {
    using store::AttributeType;
    if (j.is_null()) {
        return store::defaultValueFor(type);
    }
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            if (!j.is_number_integer())
                break;
            return j.get<std::int64_t>();
        case AttributeType::Boolean:
            if (!j.is_boolean())
                break;
            return j.get<bool>();
        case AttributeType::Double:
            if (!j.is_number())
                break;
            return j.get<double>();
        case AttributeType::String:
            if (j.is_string())
                return j.get<std::string>();
            if (j.is_object() && j.contains("h") && j["h"].is_string()) {
                auto bytes = fromHex(j["h"].get<std::string>());
                return std::string(bytes.begin(), bytes.end());
            }
            break;
        case AttributeType::Date:
            if (j.is_object() && j.contains("t") && j["t"].is_number()) {
                return Date{j["t"].get<double>()};
            }
            break;
        case AttributeType::Binary:
            if (j.is_object() && j.contains("b") && j["b"].is_string()) {
                return store::Blob{fromHex(j["b"].get<std::string>())};
            }
            break;
    }
    throw RefusedFile(fmt::format("a value that does not fit its type: {}", j.dump()));
}

}  // namespace jw::sync
