// Values written by one launch read back identically by the next: every attribute type at its
// edges, text in any script, empty versus absent. Also the value helpers and names that
// SQL would otherwise take for keywords.

#include <fmt/format.h>

#include <cmath>
#include <limits>
#include <map>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

constexpr const char* kSampleModel = R"({
    "version": 1,
    "entities": [
        {"name": "Sample",
         "attributes": [
            {"name": "label", "type": "string"},
            {"name": "small", "type": "integer16"},
            {"name": "medium", "type": "integer32"},
            {"name": "large", "type": "integer64"},
            {"name": "flag", "type": "boolean"},
            {"name": "real", "type": "double"},
            {"name": "text", "type": "string"},
            {"name": "when", "type": "date"},
            {"name": "data", "type": "binary"}
         ]}
    ]})";

// A store of one entity holding a value of every type.
class ValueRoundTrip : public ::testing::Test {
  protected:
    ValueRoundTrip() : model(ObjectModel::fromJson(kSampleModel)) { relaunch(); }

    void relaunch() {
        container.reset();
        container = std::make_unique<PersistentContainer>("Samples", model, folder.path());
        container->loadPersistentStores(
            [](const StoreError* error) { ASSERT_EQ(error, nullptr) << error->what(); });
    }
    ManagedObjectContext& context() { return container->viewContext(); }

    void add(const std::string& label, const std::string& attribute, Value value) {
        auto sample = context().insertNewObject("Sample");
        sample->setValue("label", text(label));
        sample->setValue(attribute, value);
        expected[label] = {attribute, std::move(value)};
    }

    std::vector<std::string> labelsWhere(const std::string& attribute, const Value& value) {
        auto found = context().executeFetchRequest(
            FetchRequest::forEntity("Sample").where(attribute, value).sortedBy("label", true));
        return strings(found, "label");
    }

    jw::test::ManualPlatform platform;
    jw::test::TempDir folder;
    std::shared_ptr<ObjectModel> model;
    std::unique_ptr<PersistentContainer> container;
    std::map<std::string, std::pair<std::string, Value>> expected;
};

std::string megabyteOfText() {
    std::string s;
    s.reserve(1 << 20);
    const std::string pattern = "Jotwell ✓ שלום 😀 ";
    while (s.size() + pattern.size() <= (1u << 20)) {
        s += pattern;
    }
    s.append((1u << 20) - s.size(), 'x');
    return s;
}

TEST_F(ValueRoundTrip, EveryValueReadsBackAsWrittenAfterARelaunch) {
    const std::string nul("a\0b", 3);
    std::vector<unsigned char> everyByte;
    for (int i = 0; i < 256; ++i) {
        everyByte.push_back(static_cast<unsigned char>(i));
    }
    std::vector<unsigned char> large(100'000);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<unsigned char>((i * 7919) % 251);
    }

    add("emoji", "text", text("Family 👩‍👩‍👧 and a flag 🇩🇪 😀"));
    add("right-to-left", "text", text("שלום עולם — مرحبا بالعالم"));
    add("combining", "text", text("e\u0301 a\u0308\u0323 Z\u0351\u0352"));
    add("precomposed", "text", text("\u00e9"));
    add("decomposed", "text", text("e\u0301"));
    add("embedded nul", "text", Value{nul});
    add("empty text", "text", text(""));
    add("absent text", "text", Value{});
    add("megabyte", "text", Value{megabyteOfText()});
    add("int16 min", "small", integer(std::numeric_limits<std::int16_t>::min()));
    add("int16 max", "small", integer(std::numeric_limits<std::int16_t>::max()));
    add("int32 min", "medium", integer(std::numeric_limits<std::int32_t>::min()));
    add("int32 max", "medium", integer(std::numeric_limits<std::int32_t>::max()));
    add("int64 min", "large", integer(std::numeric_limits<std::int64_t>::min()));
    add("int64 max", "large", integer(std::numeric_limits<std::int64_t>::max()));
    add("true", "flag", flag(true));
    add("third", "real", Value{1.0 / 3.0});
    add("tiny", "real", Value{std::numeric_limits<double>::denorm_min()});
    add("huge negative", "real", Value{-std::numeric_limits<double>::max()});
    add("infinity", "real", Value{std::numeric_limits<double>::infinity()});
    add("fraction of a second", "when", date(1'800'000'000.123456));
    add("before 1970", "when", date(-86'400.25));
    add("the epoch", "when", date(0.0));
    add("empty data", "data", blob({}));
    add("absent data", "data", Value{});
    add("every byte", "data", blob(everyByte));
    add("large data", "data", blob(large));
    context().insertNewObject("Sample")->setValue("label", text("unset"));
    expected["unset"] = {"label", text("unset")};
    context().save();
    relaunch();

    auto all = context().executeFetchRequest(FetchRequest::forEntity("Sample"));
    ASSERT_EQ(all.size(), expected.size());
    for (const auto& sample : all) {
        const auto label = stringOf(sample->value("label")).value_or("?");
        ASSERT_EQ(expected.count(label), 1u) << label;
        const auto& [attribute, value] = expected.at(label);
        const Value& read = sample->value(attribute);
        EXPECT_EQ(read.index(), value.index()) << label;
        EXPECT_TRUE(read == value) << label << ": wrote " << describeValue(value).substr(0, 80)
                                   << ", read " << describeValue(read).substr(0, 80);
    }
    // What was never set reads back as its type's default: zero, false, or absent.
    std::string unset;
    for (const auto& sample : all) {
        for (const auto& attribute : model->requireEntity("Sample").attributes) {
            if (sample->value("label") == text("unset") && attribute.name != "label") {
                unset += " " + describeValue(sample->value(attribute.name));
            }
        }
    }
    EXPECT_EQ(unset, " 0 0 0 false 0 nil nil nil");
}

// Which samples a fetch on one value finds, from the store and then from memory (an unsaved
// sample in play): empty is not absent, a NUL or another normal form makes another text, and
// numbers and dates compare exactly.
TEST_F(ValueRoundTrip, FetchesFindExactlyTheEqualValues) {
    const std::string nul("a\0b", 3);
    constexpr auto max64 = std::numeric_limits<std::int64_t>::max();
    add("empty text", "text", text(""));
    add("absent text", "text", Value{});
    add("empty data", "data", blob({}));
    add("absent data", "data", Value{});
    add("nul", "text", Value{nul});
    add("just a", "text", text("a"));
    add("precomposed", "text", text("\u00e9"));
    add("decomposed", "text", text("e\u0301"));
    add("when", "when", date(1000.5));
    add("just after", "when", date(1000.5000001));
    add("max", "large", integer(max64));
    add("max-1", "large", integer(max64 - 1));
    context().save();
    {
        RawDatabase raw(folder.path() / "Samples.sqlite");
        EXPECT_EQ(raw.text("SELECT group_concat(types, ' ') FROM (SELECT typeof(\"text\") || "
                           "typeof(\"data\") AS types FROM \"Sample\" WHERE \"label\" LIKE "
                           "'empty %' ORDER BY \"label\")"),
                  "nullblob textnull");
    }
    relaunch();
    // The labels found, and (when it differs) with an unsaved sample of absent text in play.
    const std::tuple<const char*, Value, const char*, const char*> cases[] = {
        {"text", text(""), "empty text", nullptr},
        {"data", blob({}), "empty data", nullptr},
        {"text", Value{nul}, "nul", nullptr},
        {"text", text("a"), "just a", nullptr},
        {"text", text("\u00e9"), "precomposed", nullptr},
        {"text", text("e\u0301"), "decomposed", nullptr},
        {"when", date(1000.5), "when", nullptr},
        {"large", integer(max64 - 1), "max-1", nullptr},
        {"text", Value{}, "absent data, absent text, empty data, just after, max, max-1, when",
         "absent data, absent text, empty data, just after, max, max-1, unsaved, when"},
    };
    for (bool unsaved : {false, true}) {
        if (unsaved) {
            add("unsaved", "data", blob({0}));
        }
        for (const auto& [attribute, value, expected, withUnsaved] : cases) {
            std::string found;
            for (const auto& label : labelsWhere(attribute, value)) {
                found += (found.empty() ? "" : ", ") + label;
            }
            EXPECT_EQ(found, unsaved && withUnsaved ? withUnsaved : expected)
                << attribute << " = " << describeValue(value);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Names SQL knows as keywords, and quotes, are just names to the store.

TEST(StoreNames, KeywordsAndQuotesInNamesWork) {
    jw::test::ManualPlatform platform;
    jw::test::TempDir folder;
    auto model = ObjectModel::fromJson(R"({
        "version": 1,
        "entities": [
            {"name": "Order",
             "attributes": [{"name": "select", "type": "string"},
                            {"name": "group", "type": "integer32"},
                            {"name": "say \"hi\"", "type": "string"}],
             "relationships": [{"name": "from", "destination": "Table", "inverse": "where",
                                "toMany": true, "deleteRule": "cascade"}]},
            {"name": "Table",
             "attributes": [{"name": "index", "type": "integer64"}],
             "relationships": [{"name": "where", "destination": "Order", "inverse": "from"}]}
        ]})");
    const auto& from = model->requireEntity("Order").requireRelationship("from");
    const auto& where = model->requireEntity("Table").requireRelationship("where");
    auto open = [&] {
        auto c = std::make_unique<PersistentContainer>("Keywords", model, folder.path());
        c->loadPersistentStores([](const StoreError* e) { ASSERT_EQ(e, nullptr) << e->what(); });
        return c;
    };
    {
        auto c = open();
        auto& ctx = c->viewContext();
        for (int i = 0; i < 3; ++i) {
            auto order = ctx.insertNewObject("Order");
            order->setValue("select", text(fmt::format("order {}", i)));
            order->setValue("group", integer(2 - i));
            order->setValue("say \"hi\"", text("hi"));
            for (int t = 0; t <= i; ++t) {
                auto table = ctx.insertNewObject("Table");
                table->setValue("index", integer(t));
                table->setToOne(where, order.get());
            }
        }
        ctx.save();
    }
    auto c = open();
    auto& ctx = c->viewContext();
    auto orders = ctx.executeFetchRequest(
        FetchRequest::forEntity("Order").where("say \"hi\"", text("hi")).sortedBy("group", true));
    EXPECT_EQ(strings(orders, "select"),
              (std::vector<std::string>{"order 2", "order 1", "order 0"}));
    ASSERT_EQ(orders.size(), 3u);
    EXPECT_EQ(orders[0]->toManyCount(from), 3u);
    EXPECT_EQ(orders[0]->toMany(from).size(), 3u);
    auto tables = ctx.executeFetchRequest(FetchRequest::forEntity("Table")
                                              .whereRelated("where", orders[1].get())
                                              .sortedBy("index", false));
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0]->value("index"), integer(1));
    ctx.deleteObject(*orders[0]);
    ctx.save();
    EXPECT_EQ(ctx.executeFetchRequest(FetchRequest::forEntity("Table")).size(), 3u);
}

// ---------------------------------------------------------------------------------------------
// The value helpers

// Pairs in ascending order, or equal where marked.
TEST(Values, CompareAsTheStoreOrdersThem) {
    constexpr auto max64 = std::numeric_limits<std::int64_t>::max();
    const std::tuple<Value, Value, int> cases[] = {
        {Value{}, text(""), -1},
        {Value{}, Value{}, 0},
        {text("Zoo"), text("apple"), -1},
        {text("z"), text("\u00e9"), -1},  // code point order, not a collation
        {text("\uffff"), text("\U0001F600"), -1},
        {text("a"), Value{std::string("a\0", 2)}, -1},
        {flag(false), flag(true), -1},
        {integer(-5), integer(3), -1},
        {integer(max64 - 1), integer(max64), -1},
        {date(1.25), date(1.5), -1},
        {Value{-0.5}, Value{0.25}, -1},
        {blob({}), blob({0}), -1},
        {blob({1, 2}), blob({1, 3}), -1},
        {blob({0x7f}), blob({0x80}), -1},
        {blob({1, 2}), blob({1, 2}), 0},
    };
    for (const auto& [a, b, expected] : cases) {
        const auto sign = [](int c) { return (c > 0) - (c < 0); };
        EXPECT_EQ(sign(compareValues(a, b)), expected)
            << describeValue(a) << " " << describeValue(b);
        EXPECT_EQ(sign(compareValues(b, a)), -expected)
            << describeValue(a) << " " << describeValue(b);
    }
}

}  // namespace
}  // namespace jw::store::test
