// Object changes, the unit of exchange between devices: their JSON form (what a change file
// holds, and what a reader refuses), attribute values in that form, and folding two changes of
// the same object into one, which must keep per key the value with the greater stamp whichever
// side it comes from.

#include <limits>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using nlohmann::json;
using store::AttributeType;

const std::string kItem = "0f8fad5b-d9cb-469f-a165-70867728950e";
const std::string kList = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

using testing::at;

ObjectChange created(const Stamp& stamp, const std::map<std::string, json>& values) {
    return testing::changeOf("Item", kItem, stamp, {}, values);
}
ObjectChange updated(const Stamp& stamp, const std::map<std::string, json>& values) {
    return testing::changeOf("Item", kItem, {}, {}, values, stamp);
}
ObjectChange removed(const Stamp& stamp) {
    return testing::changeOf("Item", kItem, {}, stamp);
}

// Each key with its value and effective stamp, so that two changes meaning the same compare
// equal however they spell their stamps.
const auto meaning = testing::meaningOf;

// Values in the file form -------------------------------------------------------------------------

TEST(ObjectChangeValues, EveryTypeRoundTripsExactly) {
    const std::pair<AttributeType, store::Value> values[] = {
        {AttributeType::Integer16, std::int64_t{-32768}},
        {AttributeType::Integer32, std::int64_t{2147483647}},
        {AttributeType::Integer64, std::numeric_limits<std::int64_t>::min()},
        {AttributeType::Boolean, true},
        {AttributeType::Double, -0.1},
        {AttributeType::String, std::string("Grüße, \"quoted\"\n\ttabbed")},
        {AttributeType::String, std::string("")},
        {AttributeType::String, std::string("\xff\xfe not UTF-8 \xc0\xaf")},
        {AttributeType::String, std::string("nul \0 inside", 12)},
        {AttributeType::Date, Date{1'800'007'200.123456}},
        {AttributeType::Date, Date{-86400.5}},
        {AttributeType::Binary, store::Blob{{0x00, 0xff, 0x10, 0x80}}},
        {AttributeType::Binary, store::Blob{}},
        {AttributeType::String, store::Value{}},  // absent: null
        {AttributeType::Date, store::Value{}},
        {AttributeType::String, std::string("\x01\b\f\r\x1f\x7f \\ /")},
        {AttributeType::Date, Date{1'800'007'200}},
        {AttributeType::Double, 1.5e-7},
        {AttributeType::Double, 123456789012.0},
        {AttributeType::Integer32, std::int64_t{0}},
        {AttributeType::Boolean, false},
        {AttributeType::Double, 0.0},
        {AttributeType::Double, 2.0},
        {AttributeType::Double, -0.0},
        {AttributeType::Double, 1e300},
    };
    for (const auto& [type, value] : values) {
        const json encoded = encodeValue(type, value);
        const auto decoded = decodeValue(type, json::parse(encoded.dump()));
        EXPECT_EQ(decoded, value) << encoded.dump();
        // The text written without building the JSON reads as the same; a value said to read
        // as the default does.
        std::string appended;
        appendEncodedValue(appended, type, value);
        EXPECT_EQ(appended, encoded.dump());
        EXPECT_EQ(encodesAsDefault(type, value),
                  encoded.is_null() ||
                      encoded.dump() == encodeValue(type, store::defaultValueFor(type)).dump())
            << appended;
    }
    // A number or a flag absent reads as the type's default.
    EXPECT_EQ(decodeValue(AttributeType::Integer32, nullptr), store::Value{std::int64_t{0}});
    EXPECT_EQ(decodeValue(AttributeType::Boolean, nullptr), store::Value{false});
}

// A change ({}: no type) or a value of a type, in the file form, that a reader refuses.
TEST(ObjectChangeRefusals, AFormThatDoesNotFitIsRefused) {
    const std::pair<std::optional<AttributeType>, const char*> refused[] = {
        {{}, R"([])"},
        {{}, R"({"g": "x", "x": [1, "A"]})"},
        {{}, R"({"e": "Item", "x": [1, "A"]})"},
        {{}, R"({"e": 3, "g": "x", "x": [1, "A"]})"},
        {{}, R"({"e": "Item", "g": "x"})"},                   // changes nothing
        {{}, R"({"e": "Item", "g": "x", "x": [1]})"},         // a stamp of one part
        {{}, R"({"e": "Item", "g": "x", "x": ["1", "A"]})"},  // counter not a number
        {{}, R"({"e": "Item", "g": "x", "x": [1.5, "A"]})"},  // nor a fraction
        {{}, R"({"e": "Item", "g": "x", "x": [1, ""]})"},     // no device
        {{}, R"({"e": "Item", "g": "x", "r": {"counter": 1}})"},
        {{}, R"({"e": "Item", "g": "x", "x": [1, "A"], "v": []})"},  // values not an object
        {{},
         R"({"e": "Item", "g": "x", "x": [1, "A"], "v": {"body": "a"}})"},  // value not in a list
        {{}, R"({"e": "Item", "g": "x", "x": [1, "A"], "v": {"body": ["a", 2]}})"},
        {{}, R"({"e": "Item", "g": "x", "v": {"body": ["a"]}})"},  // no stamp and no creation
        {{}, R"({"e": "Item", "g": "x", "v": {"body": ["a", 2, 7]}})"},
        {AttributeType::Integer32, R"("12")"},
        {AttributeType::Integer16, "1.5"},
        {AttributeType::Boolean, "1"},
        {AttributeType::String, "12"},
        {AttributeType::String, R"({"h": "zz"})"},
        {AttributeType::String, R"({"h": "abc"})"},
        {AttributeType::Date, "1800000000"},
        {AttributeType::Date, R"({"t": "today"})"},
        {AttributeType::Binary, R"("00ff")"},
        {AttributeType::Binary, R"({"b": 7})"},
    };
    for (const auto& [type, text] : refused) {
        const auto j = json::parse(text);
        EXPECT_THROW(type ? void(decodeValue(*type, j)) : void(ObjectChange::fromJson(j)),
                     std::invalid_argument)
            << text;
    }
}

// The line form pending changes are kept in ----------------------------------------------------

// A pending change written in the line form with values (their JSON), and what it reads as;
// the JSON form an earlier version kept of the same change reads the same, and writes back so.
TEST(PendingChangeForms, EitherFormReadsAsTheChangeItHolds) {
    using Kind = PendingChangeText::Kind;
    const std::string item = kItem + " Item";
    const struct {
        Kind kind;
        std::map<std::string, json> values;
        std::string expected;
    } cases[] = {
        {Kind::created,
         {{"body", "tab\tand\nline"}, {"forList", kList}, {"note", nullptr}},
         item + R"( created@4/A body="tab\tand\nline"@4/A forList=")" + kList +
             R"("@4/A note=null@4/A)"},
        {Kind::updated,
         {{"isDone", true}, {"doneDate", {{"t", 1.5}}}},
         item + R"( doneDate={"t":1.5}@4/A isDone=true@4/A)"},
        {Kind::removed, {}, item + " removed@4/A"},
    };
    for (const auto& c : cases) {
        PendingChangeText text(c.kind, at(4), "Item", kItem);
        for (const auto& [key, value] : c.values) {
            text.key(key) += value.dump();
            text.endValue();
        }
        const auto read = pendingChangeFrom(text.text());
        EXPECT_EQ(meaning(read), c.expected);
        EXPECT_EQ(meaning(pendingChangeFrom(read.toJson().dump())), c.expected);
    }
    // The JSON form spelled out: a creation's own values carry no stamp, a later value its own.
    const json earlier = {{"e", "Item"},
                          {"g", kItem},
                          {"x", json::array({4, "A"})},
                          {"v",
                           {{"body", json::array({"milk"})},
                            {"forList", json::array({kList})},
                            {"isDone", json::array({true, 9, "B"})}}}};
    const auto read = pendingChangeFrom(earlier.dump());
    EXPECT_EQ(meaning(read), item + R"( created@4/A body="milk"@4/A forList=")" + kList +
                                 R"("@4/A isDone=true@9/B)");
    EXPECT_EQ(read.toJson(), earlier);
    // Neither form: refused.
    for (const char* text :
         {"#x 1 Item\nA\ng\n", "#u one Item\nA\ng\n", "#u 1 Item\nA\n", "#u 1 Item\n\ng\n",
          "#u 1 Item\nA\ng\nbody\n", "#r 1 Item\nA\ng\nbody\t1\n", "[]"}) {
        EXPECT_THROW(pendingChangeFrom(text), std::invalid_argument) << text;
    }
}

// Folding changes of one object ----------------------------------------------------------------

// Two changes of one object, and what folding either into the other gives, with the greatest
// counter it carries.
struct Fold {
    ObjectChange a, b;
    std::string expected;
};

TEST(ObjectChangeAbsorb, PerKeyTheGreaterStampWinsFromEitherSideAndARemovalStays) {
    ObjectChange olderValue = updated(at(7, "B"), {{"body", "oat milk"}});
    olderValue.values["isDone"] = {true, at(3, "C")};  // older than the creation's value
    ObjectChange laterValue = created(at(2), {{"body", "bread"}});
    laterValue.values["isDone"] = {true, at(6, "B")};
    const std::string item = kItem + " Item";
    const Fold folds[] = {
        {created(at(5), {{"body", "milk"}, {"isDone", false}}), olderValue,
         item + " created@5/A body=\"oat milk\"@7/B isDone=false@5/A max=7"},
        // Equal counters are ordered by device.
        {updated(at(8, "A"), {{"body", "from A"}}), updated(at(8, "B"), {{"body", "from B"}}),
         item + " body=\"from B\"@8/B max=8"},
        // Folding a change into itself changes nothing.
        {laterValue, laterValue, item + " created@2/A body=\"bread\"@2/A isDone=true@6/B max=6"},
        {removed(at(4)), updated(at(9), {{"body", "later"}}),
         item + " removed@4/A body=\"later\"@9/A max=9"},
        {removed(at(4)), created(at(1), {{"body", "first"}}),
         item + " created@1/A removed@4/A body=\"first\"@1/A max=4"},
        // Two creations (a store attached twice): the earlier becomes the creation, and the
        // later one's values keep their own, greater stamp.
        {created(at(9, "B"), {{"body", "later"}, {"note", "kept"}}),
         created(at(2, "A"), {{"body", "earlier"}}),
         item + " created@2/A body=\"later\"@9/B note=\"kept\"@9/B max=9"},
    };
    for (const auto& fold : folds) {
        for (bool swap : {false, true}) {
            ObjectChange into = swap ? fold.b : fold.a;
            into.absorb(swap ? fold.a : fold.b);
            EXPECT_EQ(meaning(into) + " max=" + std::to_string(into.maxCounter()), fold.expected);
            EXPECT_EQ(meaning(ObjectChange::fromJson(into.toJson())), meaning(into));
        }
    }
}

}  // namespace
}  // namespace jw::sync
