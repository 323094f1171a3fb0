#include "StoreGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "RawSqlite.h"
#include "src/model/JWDatabase.h"

namespace jw::bench {

namespace {

constexpr double kFirstDay = 1672531200.0;  // 2023-01-01T00:00:00Z
constexpr double kDay = 86400.0;
constexpr double kLastDay = kFirstDay + 3 * 365 * kDay;

class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    double uniform(double from, double to) {
        return std::uniform_real_distribution<double>(from, to)(engine_);
    }
    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_);
    }
    int between(int from, int to) { return std::uniform_int_distribution<int>(from, to)(engine_); }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }
    double normal(double mean, double deviation) {
        return std::normal_distribution<double>(mean, deviation)(engine_);
    }
    double exponential(double mean) {
        return std::exponential_distribution<double>(1.0 / mean)(engine_);
    }
    template <typename T>
    const T& pick(const std::vector<T>& values) {
        return values[below(values.size())];
    }
    // An RFC 4122 version 4 identifier, as the store makes them.
    std::array<unsigned char, 16> globalID() {
        std::array<unsigned char, 16> bytes{};
        for (auto& b : bytes) {
            b = static_cast<unsigned char>(engine_() & 0xff);
        }
        bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
        bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
        return bytes;
    }
    std::mt19937_64& engine() { return engine_; }

  private:
    std::mt19937_64 engine_;
};

// Words people put in lists, by script. Bodies are made mostly from one language per list.
struct Language {
    std::vector<std::string> words;
    bool spaced = true;  // CJK texts are written without spaces
    double weight = 1;
};

const std::vector<Language>& languages() {
    static const std::vector<Language> all = {
        {{"milk",     "bread",   "eggs",    "butter",  "call",      "mum",     "dad",      "book",
          "dentist",  "pay",     "rent",    "invoice", "fix",       "bike",    "tyre",     "buy",
          "birthday", "present", "for",     "the",     "read",      "chapter", "email",    "reply",
          "to",       "Anna",    "Tom",     "renew",   "passport",  "water",   "plants",   "pick",
          "up",       "laundry", "tickets", "train",   "Friday",    "Monday",  "tomorrow", "before",
          "after",    "lunch",   "meeting", "notes",   "slides",    "review",  "draft",    "garden",
          "paint",    "fence",   "oil",     "car",     "gym",       "run",     "5k",       "yoga",
          "apples",   "bananas", "coffee",  "tea",     "pasta",     "rice",    "tomatoes", "onions",
          "garlic",   "cheese",  "chicken", "soap",    "batteries", "bulbs",   "x2",       "x3",
          "500g",     "1kg",     "10:30",   "#42",     "(urgent)",  "maybe",   "ask",      "about",
          "new",      "old",     "Zoë's",   "café"},
         true,
         50},
        {{"Äpfel",       "Brötchen", "Müsli",     "Käse",        "Straße",      "kehren",
          "Überweisung", "Tür",      "schließen", "Grüße",       "an",          "Oma",
          "Geschenk",    "für",      "Zahnarzt",  "anrufen",     "Fahrrad",     "reparieren",
          "Wäsche",      "waschen",  "Frühstück", "einkaufen",   "Kühlschrank", "Größe",
          "Rechnung",    "bezahlen", "Müll",      "rausbringen", "Büro",        "Heizöl"},
         true,
         12},
        {{"café",         "crème", "fraîche",      "pâtes",  "rendez-vous", "médecin",
          "été",          "fête",  "goûter",       "élève",  "acheter",     "pain",
          "beurre",       "œufs",  "réunion",      "à",      "préparer",    "lettre",
          "déménagement", "clés",  "bibliothèque", "garçon", "ça",          "Noël"},
         true,
         10},
        {{"mañana", "niños", "jamón", "piñata", "año", "nuevo", "comprar", "leche", "llamar",
          "médico", "cumpleaños", "señora", "reunión", "limpieza", "baño"},
         true,
         8},
        {{"牛乳", "卵", "パン", "買い物", "電話する", "本を読む", "会議", "歯医者", "予約", "掃除",
          "洗濯", "誕生日", "プレゼント", "銀行", "振込"},
         false,
         8},
        {{"苹果", "开会", "写报告", "买菜", "打电话", "妈妈", "生日", "礼物", "洗衣服", "交房租"},
         false,
         5},
        {{"молоко", "хлеб", "позвонить", "маме", "встреча", "в", "10:00", "купить", "подарок",
          "оплатить", "счёт", "убрать", "квартиру"},
         true,
         5},
        {{"καφές", "ψωμί", "γάλα", "τηλέφωνο", "ραντεβού"}, true, 2},
    };
    return all;
}

const std::vector<std::string> kEmoji = {"🍎", "🎂", "🚲", "✔︎", "☐", "📚",      "🏠",
                                         "☕", "🎁", "⚽", "🛒",   "💊", "✈️", "🐶"};
// Texts entered again and again, so that alphabetical order has many ties.
const std::vector<std::string> kStaples = {"Milk",   "Bread", "Eggs", "Call mum",
                                           "Kaffee", "牛乳",  "Pain", "Äpfel"};

const std::vector<std::string> kListNames = {"Groceries",
                                             "Work",
                                             "Home",
                                             "Books to read",
                                             "Films to watch",
                                             "Packing list",
                                             "Gift ideas",
                                             "Weekend",
                                             "Garden",
                                             "Car",
                                             "Einkaufsliste",
                                             "Aufgaben",
                                             "Urlaub 🏖",
                                             "Courses à faire",
                                             "Tâches",
                                             "Recettes",
                                             "Lista de compras",
                                             "Tareas",
                                             "買い物リスト",
                                             "やること",
                                             "购物清单",
                                             "Список покупок",
                                             "Дела",
                                             "Ψώνια",
                                             "Christmas 🎄",
                                             "Renovation",
                                             "Project Ω",
                                             "Travel ✈️",
                                             "Reading — 2024",
                                             "Bills",
                                             "Health",
                                             "Kids",
                                             "Wedding",
                                             "Moving house",
                                             "Ideas 💡",
                                             "Music",
                                             "Podcasts",
                                             "Wine list",
                                             "Birthday party",
                                             "Shopping"};
const std::vector<std::string> kListNameSuffixes = {"", " 2", " (archive)", " – old", " 🗂"};
const std::vector<std::string> kThemes = {"Default", "Ocean",    "Forest",
                                          "Sunset",  "Graphite", "Rosé"};

// Stored sort modes of the big lists, one each, and the mix for the others (0: never chosen).
constexpr std::array<std::int16_t, 5> kNamedSortModes = {1, 3, 5, 6, 7};
const std::vector<std::int16_t> kOtherSortModes = {0, 0, 0, 0, 0, 0, 3, 3, 3, 3,
                                                   1, 1, 1, 5, 5, 6, 6, 6, 7, 7};

std::size_t pickLanguage(Random& random) {
    double total = 0;
    for (const auto& l : languages()) {
        total += l.weight;
    }
    double x = random.uniform(0, total);
    for (std::size_t i = 0; i < languages().size(); ++i) {
        x -= languages()[i].weight;
        if (x < 0) {
            return i;
        }
    }
    return 0;
}

std::string capitalizedIfAscii(std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') {
        word[0] = char(word[0] - 'a' + 'A');
    }
    return word;
}

std::string makeText(Random& random, std::size_t language, int minWords, int maxWords) {
    const auto& primary = languages()[language];
    const int count = random.between(minWords, maxWords);
    std::string text;
    for (int i = 0; i < count; ++i) {
        const double roll = random.uniform(0, 1);
        const std::string& word = roll < 0.85   ? random.pick(primary.words)
                                  : roll < 0.95 ? random.pick(languages()[0].words)
                                                : random.pick(kEmoji);
        if (i > 0 && primary.spaced) {
            text += ' ';
        }
        text += word;
    }
    return random.chance(0.5) ? capitalizedIfAscii(std::move(text)) : text;
}

struct ListPlan {
    std::string name;
    double created = 0;
    std::int16_t sortMode = 0;
    std::int32_t sortNumber = 0;
    std::optional<std::string> themeKey;
    std::size_t itemCount = 0;
    double doneRatio = 0;
    bool manuallyOrdered = false;
    bool big = false;
    std::size_t language = 0;
    std::int64_t key = 0;
};

struct ItemPlan {
    std::size_t list = 0;
    std::optional<std::string> body;
    double created = 0;
    std::optional<double> doneDate;
    int importance = 0;
    bool isDone = false;
    std::optional<std::string> note;
    std::optional<double> reminderDate;
    std::int32_t sortNumber = 0;
    int stars = 0;
};

// Splits `total` over `count` lists with a long tail: many small lists, a few large ones.
std::vector<std::size_t> unevenShares(Random& random, std::size_t total, std::size_t count) {
    std::vector<double> weights(count);
    for (auto& w : weights) {
        w = std::exp(random.normal(0, 1.2));
    }
    const double sum = std::accumulate(weights.begin(), weights.end(), 0.0);
    std::vector<std::size_t> shares(count);
    std::size_t given = 0;
    for (std::size_t i = 0; i < count; ++i) {
        shares[i] = std::size_t(std::floor(double(total) * weights[i] / sum));
        given += shares[i];
    }
    for (std::size_t i = 0; given < total; i = (i + 1) % count, ++given) {
        ++shares[i];
    }
    return shares;
}

std::vector<ListPlan> planLists(Random& random, const StoreShape& shape) {
    if (shape.lists < kNamedSortModes.size() ||
        shape.items < shape.bigListItems * kNamedSortModes.size()) {
        throw std::runtime_error("store shape too small for one big list per sort mode");
    }
    std::vector<ListPlan> lists(shape.lists);
    std::vector<std::int32_t> sortNumbers(shape.lists);
    std::iota(sortNumbers.begin(), sortNumbers.end(), 0);
    std::shuffle(sortNumbers.begin(), sortNumbers.end(), random.engine());
    for (std::size_t i = 0; i < lists.size(); ++i) {
        auto& l = lists[i];
        l.name = kListNames[i % kListNames.size()] +
                 kListNameSuffixes[(i / kListNames.size()) % kListNameSuffixes.size()];
        l.created = random.uniform(kFirstDay, kLastDay - 90 * kDay);
        l.sortMode = random.pick(kOtherSortModes);
        l.sortNumber = sortNumbers[i];
        if (random.chance(0.5)) {
            l.themeKey = random.pick(kThemes);
        }
        l.doneRatio = random.uniform(0.0, 0.8);
        l.manuallyOrdered = random.chance(0.4);
        l.language = pickLanguage(random);
    }
    // A few lists share a name exactly, so the lists' order needs its last tie-break.
    for (std::size_t i = lists.size() - 3; i < lists.size(); ++i) {
        lists[i].name = kListNames[0];
    }
    // The big lists: spread over the order, old enough to have gathered their items.
    const std::size_t stride = lists.size() / kNamedSortModes.size();
    std::vector<std::size_t> big;
    for (std::size_t m = 0; m < kNamedSortModes.size(); ++m) {
        auto& l = lists[m * stride + stride / 3];
        l.sortMode = kNamedSortModes[m];
        l.created = random.uniform(kFirstDay, kFirstDay + 60 * kDay);
        l.doneRatio = random.uniform(0.3, 0.5);
        l.manuallyOrdered = l.sortMode == 7 || random.chance(0.4);
        l.itemCount = shape.bigListItems;
        l.big = true;
        big.push_back(m * stride + stride / 3);
    }
    std::vector<std::size_t> others;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        if (std::find(big.begin(), big.end(), i) == big.end()) {
            others.push_back(i);
        }
    }
    const auto shares = unevenShares(
        random, shape.items - shape.bigListItems * kNamedSortModes.size(), others.size());
    for (std::size_t i = 0; i < others.size(); ++i) {
        lists[others[i]].itemCount = shares[i];
    }
    return lists;
}

std::vector<ItemPlan> planItems(Random& random, const std::vector<ListPlan>& lists) {
    std::vector<ItemPlan> items;
    for (std::size_t li = 0; li < lists.size(); ++li) {
        const auto& l = lists[li];
        // Manual order: the positions of the last drag, with items added since at 0.
        std::vector<std::int32_t> positions(l.itemCount);
        std::iota(positions.begin(), positions.end(), 0);
        std::shuffle(positions.begin(), positions.end(), random.engine());
        double previousCreated = 0;
        for (std::size_t k = 0; k < l.itemCount; ++k) {
            ItemPlan item;
            item.list = li;
            const double roll = random.uniform(0, 1);
            if (roll < 0.04) {
                item.body = random.pick(kStaples);
            } else if (roll < 0.042) {
                item.body = std::string();  // a text edited down to nothing
            } else {
                item.body = makeText(random, l.language, 1, 7);
            }
            // Items entered in a burst (pasted, or typed within the same instant) tie.
            item.created = k > 0 && random.chance(0.05)
                               ? previousCreated
                               : std::round(random.uniform(l.created, kLastDay) * 1000) / 1000;
            previousCreated = item.created;
            item.isDone = random.chance(l.doneRatio);
            if (item.isDone && !random.chance(0.005)) {
                item.doneDate = std::min(kLastDay, item.created + random.exponential(3 * kDay));
            }
            item.importance = random.chance(0.85) ? 0 : random.between(1, 3);
            item.stars = random.chance(0.8) ? 0 : random.between(1, 5);
            if (random.chance(0.08)) {
                item.note = makeText(random, l.language, 5, 25);
            }
            if (random.chance(0.03)) {
                item.reminderDate = item.created + random.uniform(3600, 30 * kDay);
            }
            if (l.manuallyOrdered) {
                item.sortNumber = random.chance(0.05) ? 0 : positions[k];
            }
            items.push_back(std::move(item));
        }
    }
    // Entered over time, across lists.
    std::stable_sort(items.begin(), items.end(),
                     [](const ItemPlan& a, const ItemPlan& b) { return a.created < b.created; });
    return items;
}

std::int64_t single(const RawDatabase& db, const char* sql) {
    RawStatement statement(db, sql);
    if (!statement.step()) {
        throw std::runtime_error(std::string("no row from ") + sql);
    }
    return statement.integer(0);
}

}  // namespace

GeneratedStore generateStore(const std::filesystem::path& directory,
                             const std::filesystem::path& resourceDirectory,
                             const StoreShape& shape, std::uint64_t seed) {
    GeneratedStore result;
    result.directory = directory;
    result.file = directory / "Jotwell.sqlite";
    result.shape = shape;
    if (std::filesystem::exists(result.file)) {
        throw std::runtime_error("a store already exists at " + result.file.string());
    }
    // The layout comes from the store itself.
    { model::JWDatabase layout({directory, resourceDirectory}); }

    Random random(seed);
    auto lists = planLists(random, shape);
    const auto items = planItems(random, lists);

    RawDatabase db(result.file);
    db.execute("BEGIN IMMEDIATE");
    {
        RawStatement insertList(
            db,
            "INSERT INTO \"List\" (\"_gid\", \"created\", \"name\", \"sortMode\", \"sortNumber\", "
            "\"themeKey\") VALUES (?, ?, ?, ?, ?, ?)");
        // Lists enter in the order they were created.
        std::vector<std::size_t> byCreation(lists.size());
        std::iota(byCreation.begin(), byCreation.end(), 0);
        std::sort(byCreation.begin(), byCreation.end(), [&](std::size_t a, std::size_t b) {
            return lists[a].created < lists[b].created;
        });
        for (auto i : byCreation) {
            auto& l = lists[i];
            const auto gid = random.globalID();
            insertList.bindBlob(1, gid.data(), gid.size());
            insertList.bindDouble(2, l.created);
            insertList.bindText(3, l.name);
            insertList.bindInt(4, l.sortMode);
            insertList.bindInt(5, l.sortNumber);
            insertList.bindOptionalText(6, l.themeKey);
            insertList.run();
            l.key = db.lastInsertRowid();
        }
        RawStatement insertItem(
            db,
            "INSERT INTO \"Item\" (\"_gid\", \"body\", \"created\", \"doneDate\", \"importance\", "
            "\"isDone\", \"note\", \"reminderDate\", \"sortNumber\", \"stars\", \"forList\") "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const auto& item : items) {
            const auto gid = random.globalID();
            insertItem.bindBlob(1, gid.data(), gid.size());
            insertItem.bindOptionalText(2, item.body);
            insertItem.bindDouble(3, item.created);
            insertItem.bindOptionalDouble(4, item.doneDate);
            insertItem.bindInt(5, item.importance);
            insertItem.bindInt(6, item.isDone ? 1 : 0);
            insertItem.bindOptionalText(7, item.note);
            insertItem.bindOptionalDouble(8, item.reminderDate);
            insertItem.bindInt(9, item.sortNumber);
            insertItem.bindInt(10, item.stars);
            insertItem.bindInt(11, lists[item.list].key);
            insertItem.run();
        }
        db.execute(
            "UPDATE \"List\" SET \"doneCount\" = (SELECT COUNT(*) FROM \"Item\" WHERE "
            "\"Item\".\"forList\" = \"List\".\"_key\" AND \"Item\".\"isDone\" = 1)");
    }
    db.execute("COMMIT");

    if (single(db, "SELECT COUNT(*) FROM \"Item\"") != std::int64_t(shape.items) ||
        single(db, "SELECT COUNT(*) FROM \"List\"") != std::int64_t(shape.lists) ||
        single(db,
               "SELECT COUNT(*) FROM \"List\" WHERE \"_count_listItems\" != (SELECT COUNT(*) "
               "FROM \"Item\" WHERE \"Item\".\"forList\" = \"List\".\"_key\")") != 0) {
        throw std::runtime_error("the generated store does not hold together: " +
                                 result.file.string());
    }
    for (const auto& l : lists) {
        if (l.big) {
            result.bigListBySortMode[l.sortMode] = l.key;
        }
    }
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)");
    return result;
}

GeneratedStore copyStore(const GeneratedStore& source, const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);
    GeneratedStore copy = source;
    copy.directory = directory;
    copy.file = directory / source.file.filename();
    std::filesystem::copy_file(source.file, copy.file);
    return copy;
}

}  // namespace jw::bench
