// Values written by one launch read back identically by the next: every attribute type at its
// edges, text in any script, empty versus absent, found and sorted alike by the store and in
// memory. The sample model's names are SQL keywords and quotes, just names to the store.

#include <limits>
#include <set>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

constexpr const char* kSampleModel = R"({
    "version": 1,
    "entities": [
        {"name": "Order",
         "attributes": [
            {"name": "select", "type": "string"},
            {"name": "group", "type": "integer16"},
            {"name": "say \"hi\"", "type": "integer32"},
            {"name": "large", "type": "integer64"},
            {"name": "flag", "type": "boolean"},
            {"name": "real", "type": "double"},
            {"name": "text", "type": "string"},
            {"name": "when", "type": "date"},
            {"name": "data", "type": "binary"}
         ],
         "relationships": [{"name": "from", "destination": "Table", "inverse": "where",
                            "toMany": true, "deleteRule": "cascade"}]},
        {"name": "Table",
         "attributes": [{"name": "index", "type": "integer64"}],
         "relationships": [{"name": "where", "destination": "Order", "inverse": "from"}]}
    ]})";

// A store of the sample model, beside the fixture's own, holding a value of every type.
class ValueRoundTrip : public StoreTest {
  protected:
    ValueRoundTrip() : orderModel(ObjectModel::fromJson(kSampleModel)) { relaunch(); }

    void relaunch() override {
        orders.reset();
        orders = std::make_unique<PersistentContainer>("Orders", orderModel, folder.path());
        EXPECT_EQ(load(*orders), "loaded");
    }
    ManagedObjectContext& context() { return orders->viewContext(); }

    std::shared_ptr<ManagedObject> add(const std::string& label, const std::string& attribute,
                                       Value value) {
        auto sample = context().insertNewObject("Order");
        sample->setValue("select", text(label));
        sample->setValue(attribute, value);
        expected[label] = {attribute, std::move(value)};
        return sample;
    }

    std::shared_ptr<ObjectModel> orderModel;
    std::unique_ptr<PersistentContainer> orders;
    std::map<std::string, std::pair<std::string, Value>> expected;
};

TEST_F(ValueRoundTrip, EveryValueReadsBackAsWrittenAfterARelaunch) {
    const std::string nul("a\0b", 3);
    std::string megabyte;  // of text in several scripts
    while (megabyte.size() < (1u << 20)) {
        megabyte += "Jotwell ✓ שלום 😀 ";
    }
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
    add("just a", "text", text("a"));
    add("megabyte", "text", Value{megabyte});
    add("int16 min", "group", integer(std::numeric_limits<std::int16_t>::min()));
    add("int16 max", "group", integer(std::numeric_limits<std::int16_t>::max()));
    add("int32 min", "say \"hi\"", integer(std::numeric_limits<std::int32_t>::min()));
    add("int32 max", "say \"hi\"", integer(std::numeric_limits<std::int32_t>::max()));
    add("int64 min", "large", integer(std::numeric_limits<std::int64_t>::min()));
    add("int64 max", "large", integer(std::numeric_limits<std::int64_t>::max()));
    add("int64 max-1", "large", integer(std::numeric_limits<std::int64_t>::max() - 1));
    add("true", "flag", flag(true));
    add("third", "real", Value{1.0 / 3.0});
    add("tiny", "real", Value{std::numeric_limits<double>::denorm_min()});
    add("huge negative", "real", Value{-std::numeric_limits<double>::max()});
    add("infinity", "real", Value{std::numeric_limits<double>::infinity()});
    add("fraction of a second", "when", date(1'800'000'000.123456));
    add("before 1970", "when", date(-86'400.25));
    add("the epoch", "when", date(0.0));
    add("just after the epoch", "when", date(0.0000001));
    add("empty data", "data", blob({}));
    add("absent data", "data", Value{});
    add("every byte", "data", blob(everyByte));
    add("large data", "data", blob(large));
    auto unset = add("unset", "select", text("unset"));
    const auto& from = orderModel->requireEntity("Order").requireRelationship("from");
    for (int i = 0; i < 3; ++i) {
        auto table = context().insertNewObject("Table");
        table->setValue("index", integer(i));
        table->setToOne(*from.inverse, unset.get());
    }
    context().save();
    {
        RawDatabase raw(folder.path() / "Orders.sqlite");
        EXPECT_EQ(raw.text("SELECT group_concat(types, ' ') FROM (SELECT typeof(\"text\") || "
                           "typeof(\"data\") AS types FROM \"Order\" WHERE \"select\" LIKE "
                           "'empty %' ORDER BY \"select\")"),
                  "nullblob textnull");
    }
    relaunch();

    auto all = context().executeFetchRequest(FetchRequest::forEntity("Order"));
    ASSERT_EQ(all.size(), expected.size());
    for (const auto& sample : all) {
        const auto label = stringOf(sample->value("select")).value_or("?");
        ASSERT_EQ(expected.count(label), 1u) << label;
        const auto& [attribute, value] = expected.at(label);
        const Value& read = sample->value(attribute);
        EXPECT_EQ(read.index(), value.index()) << label;
        EXPECT_TRUE(read == value) << label << ": wrote " << describeValue(value).substr(0, 80)
                                   << ", read " << describeValue(read).substr(0, 80);
    }
    // A fetch on each value finds exactly the samples holding an equal one, from the store and
    // then from memory (an unsaved sample in play): empty is not absent, a NUL or another normal
    // form makes another text, numbers and dates compare exactly. Every attribute sorts alike
    // both ways too (text by code point, binary data byte by byte, unsigned).
    std::map<std::string, std::vector<std::string>> sortedBy;  // the labels, by attribute
    for (bool unsaved : {false, true}) {
        if (unsaved) {
            all.push_back(add("unsaved", "data", blob({0})));
        }
        for (const auto& [label, written] : expected) {
            std::set<std::string> equal;
            for (const auto& sample : all) {
                if (sample->value(written.first) == written.second) {
                    equal.insert(*stringOf(sample->value("select")));
                }
            }
            const auto found =
                context().executeFetchRequest(FetchRequest::forEntity("Order")
                                                  .where(written.first, written.second)
                                                  .sortedBy("select", true));
            EXPECT_EQ(strings(found, "select"),
                      std::vector<std::string>(equal.begin(), equal.end()))
                << label << (unsaved ? " with an unsaved sample" : "");
        }
        for (const auto& attribute : orderModel->requireEntity("Order").attributes) {
            auto sorted = context().executeFetchRequest(
                FetchRequest::forEntity("Order").sortedBy(attribute.name, true));
            if (unsaved) {
                std::erase(sorted, all.back());
            } else {
                sortedBy[attribute.name] = strings(sorted, "select");
            }
            EXPECT_EQ(strings(sorted, "select"), sortedBy[attribute.name])
                << "sorted by " << attribute.name;
        }
    }
    // What was never set reads back as its type's default: zero, false, or absent.
    auto read =
        context()
            .executeFetchRequest(FetchRequest::forEntity("Order").where("select", text("unset")))
            .at(0);
    std::string defaults;
    for (const auto& attribute : orderModel->requireEntity("Order").attributes) {
        defaults += " " + describeValue(read->value(attribute.name));
    }
    EXPECT_EQ(defaults, " \"unset\" 0 0 0 false 0 nil nil nil");
    std::string indexes;
    for (const auto& table : context().executeFetchRequest(FetchRequest::forEntity("Table")
                                                               .whereRelated("where", read.get())
                                                               .sortedBy("index", false))) {
        indexes += describeValue(table->value("index"));
    }
    EXPECT_EQ(indexes, "210");
    EXPECT_EQ(read->toManyCount(from), 3u);
    context().deleteObject(*read);
    context().save();
    EXPECT_TRUE(context().executeFetchRequest(FetchRequest::forEntity("Table")).empty());
}

}  // namespace
}  // namespace jw::store::test
