// Change files and baselines as bytes: what a writer produces reads back the same, and a reader
// refuses, with a reason, anything it cannot trust: a file cut anywhere, one longer than its
// header says, a damaged one, one of another format or a newer object model, one that is not
// JSON, one whose changes name what its header's tables do not hold.

#include <zlib.h>

#include <functional>
#include <random>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using nlohmann::json;

constexpr int kModel = 1;

ChangeFile sampleFile() {
    ChangeFile file;
    file.header.ensemble = "5f0c3c8e-4d59-4d0a-8d1e-1c0e9bb0a6f2";
    file.header.device = "0e3c6f4a-9a53-4c4b-a6a6-2d7c3c1b9e11";
    file.header.sequence = 7;
    file.header.modelVersion = kModel;
    ObjectChange list =
        testing::changeOf("List", "7c9e6679-7425-40de-944b-e07fc1f90ae7",
                          Stamp{3, file.header.device}, {}, {{"name", "Groceries"}});
    list.values["themeKey"] = {"Ocean", Stamp{5, "other"}};
    file.changes = {list, testing::changeOf("Item", "0f8fad5b-d9cb-469f-a165-70867728950e", {},
                                            Stamp{6, file.header.device})};
    return file;
}

std::string header(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\n'));
}
std::string payload(const std::string& bytes) {
    return bytes.substr(bytes.find('\n') + 1);
}

// A file whose header says what `edit` makes of it, with length and checksum made to fit
// `body`: refusals then come from the field under test, not from a damaged file.
std::string withHeader(const std::function<void(json&)>& edit, const std::string& body) {
    json h = json::parse(header(encodeChangeFile(sampleFile())));
    h["length"] = body.size();
    h["crc32"] = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                       static_cast<uInt>(body.size()));
    edit(h);
    return h.dump() + "\n" + body;
}

std::string refusal(const std::string& bytes) {
    try {
        decodeChangeFile(bytes, kModel);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

// The sample's first object in the short form the payload names it by.
const std::string kListID =
    store::GlobalID::fromString("7c9e6679-7425-40de-944b-e07fc1f90ae7")->toShortString();

TEST(ChangeFileFormat, AChangeFileReadsBackAsWritten) {
    // Writing what was read gives the same bytes: every field came back. (A field written or
    // read wrong both ways is the convergence run's to find.)
    const auto bytes = encodeChangeFile(sampleFile());
    EXPECT_EQ(encodeChangeFile(decodeChangeFile(bytes, kModel)), bytes);
    // No changes is a file too. (A baseline's coverage, read back wrong, fails the compaction
    // tests and the convergence run.)
    ChangeFile empty = sampleFile();
    empty.changes.clear();
    EXPECT_TRUE(decodeChangeFile(encodeChangeFile(empty), kModel).changes.empty());
}

TEST(ChangeFileFormat, PendingChangesOfEitherFormGoOutAsTheChangesTheyHold) {
    // The sample's changes kept in the JSON form of an earlier version, between two of the
    // line form: every one goes out as the change it holds.
    const auto file = sampleFile();
    const Stamp checkedAt{9, file.header.device}, removedAt{10, file.header.device};
    using Kind = PendingChangeText::Kind;
    PendingChangeText checked(Kind::updated, checkedAt, "Item", file.changes[1].globalID);
    checked.key("isDone") += "true";
    checked.endValue();
    checked.key("doneDate") += R"({"t":1800000000.5})";
    checked.endValue();
    const PendingChangeText gone(Kind::removed, removedAt, "List", file.changes[0].globalID);
    const std::vector<std::string> stored = {checked.text(), file.changes[0].toJson().dump(),
                                             file.changes[1].toJson().dump(), gone.text()};
    const auto checkedChange =
        testing::changeOf("Item", file.changes[1].globalID, {}, {},
                          {{"isDone", true}, {"doneDate", json{{"t", 1800000000.5}}}}, checkedAt);
    const ObjectChange goneChange{"List", file.changes[0].globalID, {}, removedAt, {}};
    std::vector<std::string> expected, read;
    for (const auto& change : {checkedChange, file.changes[0], file.changes[1], goneChange}) {
        expected.push_back(testing::meaningOf(change));
    }
    for (const auto& change :
         decodeChangeFile(encodeChangeFile(file.header, stored), kModel).changes) {
        read.push_back(testing::meaningOf(change));
    }
    EXPECT_EQ(read, expected);
}

// Each refused file and a word of the reason it is given ("" when any reason will do).
TEST(ChangeFileRefusals, WhatCannotBeTrustedOrIsCutAnywhereIsRefusedWithAReason) {
    const auto bytes = encodeChangeFile(sampleFile());
    const auto body = payload(bytes);
    const auto edited = [&](const std::function<void(json&)>& edit) {
        return withHeader(edit, body);
    };
    const auto flipped = [&](std::size_t at) {
        std::string damaged = bytes;
        damaged[at] ^= 0x01;
        return damaged;
    };
    const std::int64_t huge = (std::int64_t{1} << 32) + 1;  // in 32 bits: version 1
    std::vector<std::pair<std::string, std::string>> cases = {
        {bytes.substr(0, bytes.size() - 1), "cut short"},
        {bytes + " ", "longer"},
        {bytes + bytes, "longer"},
        {flipped(header(bytes).size() + 1), "checksum"},
        {flipped(header(bytes).size() + 11), "checksum"},
        {flipped(bytes.size() - 1), "checksum"},
        {edited([](json& h) { h.erase("crc32"); }), "checksum"},
        {edited([](json& h) { h["crc32"] = "0"; }), "checksum"},
        {edited([](json& h) { h["jotwell-sync"] = kChangeFileFormat + 1; }), "newer format"},
        {edited([](json& h) { h["model"] = kModel + 1; }), "newer object model"},
        {edited([&](json& h) { h["jotwell-sync"] = huge; }), "newer"},
        {edited([&](json& h) { h["model"] = huge; }), "newer"},
        // The format before this one never shipped: refused like any other.
        {edited([](json& h) { h["jotwell-sync"] = kChangeFileFormat - 1; }), "not a format"},
        {edited([](json& h) { h["jotwell-sync"] = 0; }), ""},  // a format that never was
        {edited([](json& h) { h["jotwell-sync"] = -1; }), ""},
        {"", "no header"},
        {"PK\x03\x04 a zip file, perhaps", "no header"},
        {"not json\n[]", "not JSON"},
        {"{\"jotwell-sync\": 1,\n[]", "not JSON"},
        {"[1, 2, 3]\n[]", "not a sync file"},
        {"{\"other-app\": 1}\n[]", "not a sync file"},
        // A whole, undamaged file whose payload is not JSON, or not a list of changes.
        {withHeader([](json&) {}, "[{\"e\": "), "not JSON"},
        {withHeader([](json&) {}, "{\"e\": \"Item\"}"), "not a list"},
        {withHeader([](json&) {}, "[{\"e\": \"Item\"}]"), ""},
        {withHeader([](json&) {}, "[\"\xff\"]"), "not JSON"},
        // Changes that do not fit the form, or name what the header's tables do not hold
        // (the sample's: entities List [name, themeKey] and Item, devices ["other"]).
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3]]"), "must be"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [], 4, 5]]"), "must be"},
        {withHeader([](json&) {}, "[[7, \"" + kListID + "\", 3, []]]"), "an entity not in"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "A\", 3, []]]"), "short form"},
        {withHeader([](json&) {}, "[[0, \"7c9e6679-7425-40de-944b-e07fc1f90ae7\", 3, []]]"),
         "short form"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", [3, 1], []]]"), "device not in"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", [3], []]]"), "a stamp"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", \"3\", []]]"), "a stamp"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [9, 1]]]"), "a key not in"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [0]]]"), "without its value"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [0, 1, 0, 2]]]"), "twice"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [0, [1]]]]"), "stamped value"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", 3, [0, [1, 2, 5]]]]"),
         "device not in"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", null, [0, 1]]]"),
         "needs a creation stamp"},
        {withHeader([](json&) {}, "[[0, \"" + kListID + "\", null, []]]"), "changes nothing"},
        {withHeader([](json& h) { h["entities"][0][2] = {0}; },
                    "[[0, \"" + kListID + "\", 3, [0, \"Groceries\"]]]"),
         "a link"},
        {withHeader([](json& h) { h["entities"][0][2] = {5}; }, "[]"), "link key"},
        {withHeader([](json& h) { h["devices"] = {""}; }, "[]"), "devices must be"},
        {withHeader([](json& h) { h["entities"] = {{"List"}}; }, "[]"), "entities must be"},
        {edited([](json& h) { h["kind"] = "snapshot"; }), "unknown kind"},
        {edited([](json& h) { h["length"] = "12"; }), ""},
        {edited([](json& h) { h["length"] = -1; }), ""},
        {edited([](json& h) {
             h["coverage"] = {{"a", "b"}};
         }),
         ""},
    };
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        cases.emplace_back(bytes.substr(0, length), "");
    }
    for (const char* field :
         {"kind", "ensemble", "device", "sequence", "model", "devices", "entities"}) {
        cases.emplace_back(edited([&](json& h) { h.erase(field); }), "");
        cases.emplace_back(edited([&](json& h) { h[field] = json::array(); }), "");
    }
    for (const auto& [file, reason] : cases) {
        const auto said = refusal(file);
        EXPECT_NE(said, "accepted") << file.substr(0, 200);
        EXPECT_NE(said.find(reason), std::string::npos) << said;
    }
}

// Bytes flipped and files cut at random, with length and checksum made to fit so that the
// damage reaches the payload: each is refused, or read whole and written back the same.
TEST(ChangeFileRefusals, RandomDamageIsRefusedOrReadWhole) {
    const auto bytes = encodeChangeFile(sampleFile());
    const auto body = payload(bytes);
    std::mt19937 random(20261207);
    std::vector<std::string> outcomes;
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = body;
        if (round % 4 == 0) {
            damaged.resize(random() % damaged.size());
        }
        for (int flips = 1 + int(random() % 3); flips > 0 && !damaged.empty(); --flips) {
            damaged[random() % damaged.size()] ^= static_cast<char>(1u << (random() % 8));
        }
        const auto file = withHeader([](json&) {}, damaged);
        try {
            const auto read = decodeChangeFile(file, kModel);
            const auto written = encodeChangeFile(read);
            if (encodeChangeFile(decodeChangeFile(written, kModel)) != written) {
                outcomes.push_back("read back differently: " + damaged);
            }
        } catch (const std::invalid_argument&) {
            // refused, as it should be
        } catch (const std::exception& e) {
            outcomes.push_back(std::string("escaped: ") + e.what() + ": " + damaged);
        }
    }
    EXPECT_EQ(outcomes, std::vector<std::string>{});
}

}  // namespace
}  // namespace jw::sync
