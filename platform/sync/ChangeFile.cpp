#include "ChangeFile.h"

#include <fmt/format.h>
#include <simdjson.h>
#include <zlib.h>

#include <charconv>
#include <limits>
#include <stdexcept>

namespace jw::sync {

using nlohmann::json;

namespace {

std::uint32_t crc32Of(const char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes lengths as uInt; feed large payloads in pieces.
    while (size > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), piece);
        data += piece;
        size -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

// A version number, with anything beyond 64 bits read as the greatest there is.
std::int64_t versionNumber(const json& number) {
    if (number.is_number_unsigned() &&
        number.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return number.get<std::int64_t>();
}

template <typename Number>
void appendNumber(std::string& out, Number n) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
    out.append(buffer, end);
}

// The tables a payload refers to, as its header lists them.
struct Tables {
    std::string writer;
    std::vector<std::string> devices;
    struct Entity {
        std::string name;
        std::vector<std::string> keys;
        std::vector<bool> link;
    };
    std::vector<Entity> entities;
};

Tables tablesFrom(const json& header, const std::string& writer) {
    Tables tables;
    tables.writer = writer;
    for (const auto& device : header.at("devices")) {
        if (!device.is_string() || device.get_ref<const std::string&>().empty()) {
            throw RefusedFile("the header's devices must be names");
        }
        tables.devices.push_back(device.get<std::string>());
    }
    for (const auto& entity : header.at("entities")) {
        if (!entity.is_array() || entity.size() != 3 || !entity[0].is_string() ||
            !entity[1].is_array() || !entity[2].is_array()) {
            throw RefusedFile("the header's entities must be [name, [key, ...], [link, ...]]");
        }
        auto& e = tables.entities.emplace_back();
        e.name = entity[0].get<std::string>();
        e.keys = entity[1].get<std::vector<std::string>>();
        e.link.assign(e.keys.size(), false);
        for (const auto& link : entity[2]) {
            if (!link.is_number_unsigned() || link.get<std::uint64_t>() >= e.keys.size()) {
                throw RefusedFile("the header names a link key that is not there");
            }
            e.link[link.get<std::size_t>()] = true;
        }
    }
    return tables;
}

// The payload's pieces read with simdjson's DOM: the whole payload is validated (UTF-8
// included) before any of it is read, so a bad byte anywhere refuses the file at once.
namespace dom = simdjson::dom;

json jsonOf(dom::element element) {
    switch (element.type()) {
        case dom::element_type::ARRAY: {
            json out = json::array();
            const dom::array items = element.get_array().value_unsafe();
            for (auto item : items) {
                out.push_back(jsonOf(item));
            }
            return out;
        }
        case dom::element_type::OBJECT: {
            json out = json::object();
            const dom::object fields = element.get_object().value_unsafe();
            for (auto field : fields) {
                out[std::string(field.key)] = jsonOf(field.value);
            }
            return out;
        }
        case dom::element_type::INT64:
            return element.get_int64().value_unsafe();
        case dom::element_type::UINT64:
            return element.get_uint64().value_unsafe();
        case dom::element_type::DOUBLE:
            return element.get_double().value_unsafe();
        case dom::element_type::STRING:
            return std::string(element.get_string().value_unsafe());
        case dom::element_type::BOOL:
            return element.get_bool().value_unsafe();
        case dom::element_type::NULL_VALUE:
            break;
    }
    return nullptr;
}

std::size_t indexIn(dom::element element, std::size_t size, const char* what) {
    std::uint64_t index = 0;
    if (element.get_uint64().get(index) || index >= size) {
        throw RefusedFile(fmt::format("{} not in the header's table", what));
    }
    return std::size_t(index);
}

std::int64_t counterOf(dom::element element) {
    std::int64_t counter = 0;
    if (element.get_int64().get(counter)) {
        throw RefusedFile("a stamp's counter must be an integer");
    }
    return counter;
}

Stamp stampOf(dom::element element, const Tables& tables) {
    if (element.is_int64()) {
        if (tables.writer.empty()) {
            throw RefusedFile("a stamp of a file without a device");
        }
        return Stamp{counterOf(element), tables.writer};
    }
    dom::array parts;
    if (element.get_array().get(parts) || parts.size() != 2) {
        throw RefusedFile("a stamp must be a counter or [counter, device]");
    }
    return Stamp{counterOf(parts.at(0).value_unsafe()),
                 tables.devices[indexIn(parts.at(1).value_unsafe(), tables.devices.size(),
                                        "a stamp's device")]};
}

// A link key's value: the short form of an identifier, or null, read into the canonical form
// the rest of the program uses.
json linkOf(dom::element element) {
    if (element.is_null()) {
        return nullptr;
    }
    std::string_view text;
    std::optional<store::GlobalID> id;
    if (element.get_string().get(text) || !(id = store::GlobalID::fromShortString(text))) {
        throw RefusedFile("a link must be a global identifier's short form, or null");
    }
    return id->toString();
}

ObjectChange changeOf(dom::element element, const Tables& tables) {
    dom::array parts;
    if (element.get_array().get(parts) || (parts.size() != 4 && parts.size() != 5)) {
        throw RefusedFile("a change must be [entity, id, created, values] (and removed)");
    }
    auto part = parts.begin();
    const auto& entity = tables.entities[indexIn(*part, tables.entities.size(), "an entity")];
    ObjectChange change;
    change.entity = entity.name;
    std::string_view idText;
    std::optional<store::GlobalID> id;
    if ((*++part).get_string().get(idText) || !(id = store::GlobalID::fromShortString(idText))) {
        throw RefusedFile("a change's id must be a global identifier's short form");
    }
    change.globalID = id->toString();
    if (!(*++part).is_null()) {
        change.created = stampOf(*part, tables);
    }
    dom::array values;
    if ((*++part).get_array().get(values)) {
        throw RefusedFile("a change's values must be [key, value, ...]");
    }
    for (auto value = values.begin(); value != values.end(); ++value) {
        const auto keyIndex = indexIn(*value, entity.keys.size(), "a key");
        const auto& name = entity.keys[keyIndex];
        const auto read = [&](dom::element v) {
            return entity.link[keyIndex] ? linkOf(v) : jsonOf(v);
        };
        if (++value == values.end()) {
            throw RefusedFile("a key without its value");
        }
        KeyChange keyChange;
        dom::array stamped;
        if (!(*value).get_array().get(stamped)) {
            if (stamped.size() != 2 && stamped.size() != 3) {
                throw RefusedFile(
                    "a stamped value must be [value, counter] or [value, counter, "
                    "device]");
            }
            const auto counter = counterOf(stamped.at(1).value_unsafe());
            const auto& device =
                stamped.size() == 2
                    ? tables.writer
                    : tables.devices[indexIn(stamped.at(2).value_unsafe(), tables.devices.size(),
                                             "a stamp's device")];
            if (device.empty()) {
                throw RefusedFile("a stamp of a file without a device");
            }
            keyChange.value = read(stamped.at(0).value_unsafe());
            keyChange.stamp = Stamp{counter, device};
        } else if (!change.created) {
            throw RefusedFile("a value without a stamp needs a creation stamp");
        } else {
            keyChange.value = read(*value);
        }
        if (!change.values.emplace(name, std::move(keyChange)).second) {
            throw RefusedFile(fmt::format("the key {} twice in one change", name));
        }
    }
    if (parts.size() == 5) {
        change.removed = stampOf(*++part, tables);
    }
    if (!change.created && !change.removed && change.values.empty()) {
        throw RefusedFile("an object change that changes nothing");
    }
    return change;
}

}  // namespace

ChangeFileWriter::ChangeFileWriter(ChangeFileHeader header) : header_(std::move(header)) {
    payload_ += '[';
}

std::size_t ChangeFileWriter::entity(const std::string& name) {
    const auto [it, added] = entityIndex_.try_emplace(name, entities_.size());
    if (added) {
        entities_.push_back(EntityTable{name, {}, {}, {}});
    }
    return it->second;
}

std::size_t ChangeFileWriter::key(std::size_t entity, const std::string& name, bool link) {
    auto& table = entities_[entity];
    const auto [it, added] = table.index[link ? 1 : 0].try_emplace(name, table.keys.size());
    if (added) {
        if (link) {
            table.links.push_back(table.keys.size());
        }
        table.keys.push_back(name);
    }
    return it->second;
}

void ChangeFileWriter::link(std::size_t key, const std::optional<Stamp>& stamp,
                            const std::optional<store::GlobalID>& target) {
    value(key, stamp, [&](std::string& out) {
        if (target) {
            out += '"';
            target->appendShortString(out);
            out += '"';
        } else {
            out += "null";
        }
    });
}

void ChangeFileWriter::appendStamp(const Stamp& stamp) {
    if (stamp.device == header_.device) {
        appendNumber(payload_, stamp.counter);
        return;
    }
    const auto [it, added] = deviceIndex_.try_emplace(stamp.device, devices_.size());
    if (added) {
        devices_.push_back(stamp.device);
    }
    payload_ += '[';
    appendNumber(payload_, stamp.counter);
    payload_ += ',';
    appendNumber(payload_, it->second);
    payload_ += ']';
}

void ChangeFileWriter::beginChange(std::size_t entity, const store::GlobalID& id,
                                   const std::optional<Stamp>& created) {
    payload_ += changes_ > 0 ? ",[" : "[";
    appendNumber(payload_, entity);
    payload_ += ",\"";
    id.appendShortString(payload_);
    payload_ += "\",";
    if (created) {
        appendStamp(*created);
    } else {
        payload_ += "null";
    }
    payload_ += ",[";
    firstValue_ = true;
}

void ChangeFileWriter::beginValue(std::size_t key, bool stamped) {
    if (!firstValue_) {
        payload_ += ',';
    }
    firstValue_ = false;
    appendNumber(payload_, key);
    payload_ += stamped ? ",[" : ",";
}

void ChangeFileWriter::endValue(const std::optional<Stamp>& stamp) {
    if (!stamp) {
        return;
    }
    payload_ += ',';
    appendNumber(payload_, stamp->counter);
    if (stamp->device != header_.device) {
        const auto [it, added] = deviceIndex_.try_emplace(stamp->device, devices_.size());
        if (added) {
            devices_.push_back(stamp->device);
        }
        payload_ += ',';
        appendNumber(payload_, it->second);
    }
    payload_ += ']';
}

void ChangeFileWriter::endChange(const std::optional<Stamp>& removed) {
    payload_ += ']';
    if (removed) {
        payload_ += ',';
        appendStamp(*removed);
    }
    payload_ += ']';
    ++changes_;
}

void ChangeFileWriter::add(const ObjectChange& change) {
    const auto id = store::GlobalID::fromString(change.globalID);
    if (!id) {
        return;
    }
    const auto e = entity(change.entity);
    beginChange(e, *id, change.created);
    for (const auto& [name, keyChange] : change.values) {
        // An array read bare would be taken for a stamped value: it goes with its stamp.
        auto stamp = keyChange.stamp;
        if (!stamp && keyChange.value.is_array()) {
            stamp = change.created;
        }
        value(key(e, name), stamp, [&](std::string& out) { out += keyChange.value.dump(); });
    }
    endChange(change.removed);
}

void ChangeFileWriter::addPending(std::string_view stored) {
    const auto view = readPendingChange(stored);
    if (!view) {
        add(ObjectChange::fromJson(json::parse(stored)));
        return;
    }
    const auto id = store::GlobalID::fromString(view->globalID);
    if (!id) {
        return;
    }
    using Kind = PendingChangeText::Kind;
    const auto e = entity(std::string(view->entity));
    const auto stamp = std::optional<Stamp>(view->stamp);
    beginChange(e, *id, view->kind == Kind::created ? stamp : std::nullopt);
    const auto keyStamp = view->kind == Kind::updated ? stamp : std::nullopt;
    for (const auto& [name, text] : view->values) {
        value(key(e, std::string(name)), keyStamp, [&](std::string& out) { out += text; });
    }
    endChange(view->kind == Kind::removed ? stamp : std::nullopt);
}

std::string ChangeFileWriter::finish() {
    payload_ += ']';
    json entities = json::array();
    for (const auto& e : entities_) {
        entities.push_back(json::array({e.name, e.keys, e.links}));
    }
    json header = {{"jotwell-sync", header_.format},
                   {"kind", header_.kind},
                   {"ensemble", header_.ensemble},
                   {"device", header_.device},
                   {"sequence", header_.sequence},
                   {"model", header_.modelVersion},
                   {"devices", devices_},
                   {"entities", std::move(entities)},
                   {"length", payload_.size()},
                   {"crc32", crc32Of(payload_.data(), payload_.size())}};
    if (!header_.coverage.empty()) {
        header["coverage"] = header_.coverage;
    }
    std::string out = header.dump();
    out.reserve(out.size() + 1 + payload_.size());
    out += '\n';
    out += payload_;
    payload_.clear();
    payload_.shrink_to_fit();
    return out;
}

std::string encodeChangeFile(const ChangeFile& file) {
    ChangeFileWriter writer(file.header);
    for (const auto& change : file.changes) {
        writer.add(change);
    }
    return writer.finish();
}

std::string encodeChangeFile(const ChangeFileHeader& header,
                             const std::vector<std::string>& storedChanges) {
    ChangeFileWriter writer(header);
    for (const auto& stored : storedChanges) {
        writer.addPending(stored);
    }
    return writer.finish();
}

ChangeFile decodeChangeFile(const std::string& bytes, int supportedModelVersion) {
    const auto newline = bytes.find('\n');
    if (newline == std::string::npos) {
        throw RefusedFile("no header line (an empty or cut file)");
    }
    json header;
    try {
        header = json::parse(bytes.begin(), bytes.begin() + std::ptrdiff_t(newline));
    } catch (const json::exception&) {
        throw RefusedFile("the header is not JSON");
    }
    if (!header.is_object() || !header.contains("jotwell-sync") ||
        !header["jotwell-sync"].is_number_integer()) {
        throw RefusedFile("not a sync file");
    }
    ChangeFile file;
    auto& h = file.header;
    // Versions are compared as written, in full: read into a narrower type, a huge number
    // would wrap around into a version this program knows.
    const auto format = versionNumber(header["jotwell-sync"]);
    if (format > kChangeFileFormat) {
        throw RefusedFile(fmt::format("written in a newer format ({})", format));
    }
    if (format < kChangeFileFormat) {
        // Earlier formats never left the workshop: nothing in any folder needs them read.
        throw RefusedFile(fmt::format("not a format this program reads ({})", format));
    }
    h.format = static_cast<int>(format);
    std::int64_t model = 0;
    Tables tables;
    try {
        h.kind = header.at("kind").get<std::string>();
        h.ensemble = header.at("ensemble").get<std::string>();
        h.device = header.at("device").get<std::string>();
        h.sequence = header.at("sequence").get<std::int64_t>();
        if (!header.at("model").is_number_integer() || !header.at("length").is_number_unsigned() ||
            !header.at("devices").is_array() || !header.at("entities").is_array()) {
            throw RefusedFile("");
        }
        model = versionNumber(header["model"]);
        if (header.contains("coverage")) {
            h.coverage = header["coverage"].get<std::map<std::string, std::int64_t>>();
        }
        tables = tablesFrom(header, h.device);
    } catch (const RefusedFile& e) {
        if (*e.what() != '\0') {
            throw;
        }
        throw RefusedFile("the header lacks a field or has one of the wrong kind");
    } catch (const std::invalid_argument&) {
        throw RefusedFile("the header lacks a field or has one of the wrong kind");
    } catch (const json::exception&) {
        throw RefusedFile("the header lacks a field or has one of the wrong kind");
    }
    if (model > supportedModelVersion) {
        throw RefusedFile(fmt::format("written with a newer object model ({})", model));
    }
    h.modelVersion = static_cast<int>(model);
    if (h.kind != "changes" && h.kind != "baseline") {
        throw RefusedFile(fmt::format("an unknown kind of file ({})", h.kind));
    }
    const auto length = header["length"].get<std::uint64_t>();
    const std::size_t available = bytes.size() - newline - 1;
    if (available < length) {
        throw RefusedFile(fmt::format("cut short ({} of {} bytes)", available, length));
    }
    if (available > length) {
        throw RefusedFile("longer than its header says");
    }
    const char* body = bytes.data() + newline + 1;
    if (!header.contains("crc32") || !header["crc32"].is_number_unsigned() ||
        header["crc32"].get<std::uint32_t>() != crc32Of(body, length)) {
        throw RefusedFile("damaged (checksum mismatch)");
    }
    dom::parser parser;
    dom::element payload;
    if (parser.parse(body, length).get(payload)) {
        throw RefusedFile("the payload is not JSON");
    }
    dom::array changes;
    if (payload.get_array().get(changes)) {
        throw RefusedFile("the payload is not a list of changes");
    }
    file.changes.reserve(changes.size());
    for (auto change : changes) {
        file.changes.push_back(changeOf(change, tables));
    }
    return file;
}

}  // namespace jw::sync
