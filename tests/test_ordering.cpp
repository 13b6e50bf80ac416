#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <numeric>

#include "base/errors.h"
#include "results/ordering.h"
#include "results/result_model.h"
#include "support/qt_printers.h"

TEST(Ordering, LengthKeys) {
    const std::pair<QString, qint64> cases[] = {
        {"4:05", 245},
        {"1:02:03", 3723},
        {"59", 59},
        {"", 0},
        {" \t ", 0},
        {"10:00", 600},
        {"9:59", 599},
        // Blanks and control characters separate parts too and are skipped around ":".
        {" 4:05 ", 245},
        {"4 05", 245},
        {"4 : 05", 245},
        {"1\n2\t3", 3723},
        {"4: ", 4},
        {"+1:-30", 30},
        {"2147483647", 2147483647},
        {"1:0:0:0:0", 12960000},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(lengthKey(text), key) << text.toStdString();
}

TEST(Ordering, LengthPartThatIsNoNumberThrows) {
    const std::pair<QString, QString> cases[] = {
        {"4:", ""},  // a ":" at the very end adds an empty part
        {"4::05", ""},
        {":05", ""},
        {"live", "live"},
        {"1:2x", "2x"},
        {"2147483648", "2147483648"},
        {"1:+-3", "+-3"},
        {"\u0663:00", "\u0663"},
    };
    for (const auto& [text, part] : cases) {
        try {
            lengthKey(text);
            ADD_FAILURE() << "no error for " << text.toStdString();
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(), "'" + part + "' is not a valid integer value");
        }
    }
}

TEST(Ordering, ViewCountKeys) {
    const std::pair<QString, std::optional<qint64>> cases[] = {
        {"1,234,567 views", 1234567},
        {" 12 views ", 12},
        {"\t\n12\r", 12},
        {"2,500,000,000 views", 2500000000LL},
        {"9,223,372,036,854,775,807 views", 9223372036854775807LL},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"+5 views", 5},
        {",7,", 7},
        {"No views", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {",,, views", std::nullopt},
        {"9,223,372,036,854,775,808 views", std::nullopt},
        {"5x views", std::nullopt},
        {"1.5K views", std::nullopt},
        {"+-5", std::nullopt},
        {"1\u00A0000 views", std::nullopt},  // only U+0020 ends the first word
        {"\u0665 views", std::nullopt},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(viewCountKey(text), key) << text.toStdString();
}

namespace {

ResultRow rowWith(int column, const QString& text) {
    ResultRow row;
    (column == 1 ? row.title : column == 2 ? row.length : row.views) = text;
    return row;
}

}  // namespace

TEST(Ordering, CompareRows) {
    struct Case {
        int column;
        QString a, b;
        int ascending;  // the answer with bsort false; bsort true must negate it
    };
    const Case cases[] = {
        {1, "apple", "APPLE", 0},
        {1, "Zebra", "\u00E9clair", -1},  // é is not folded and sorts after Z
        {1, "\u00C9clair", "\u00E9clair", -1},
        {1, "App", "Apple", -1},
        {1, "Apple", "App", 1},
        {1, "_x", "ax", 1},  // folding is to upper case: "_" (0x5F) after "A" (0x41)
        {1, "", "", 0},
        {2, "10:00", "9:59", 1},
        {2, "9:59", "10:00", -1},
        {2, "4:05", "245", -1},  // ties answer -1 in either order
        {2, "245", "4:05", -1},
        {2, "", "", -1},
        {3, "5 views", "5 views", -1},
        {3, "No views", "5 views", -1},  // Item1 fails: 0 against 0
        {3, "5 views", "No views", 1},   // Item2 fails: 5 against 0
        {3, "-5 views", "No views", -1},
        {3, "2,500,000,000 views", "5 views", 1},
        {3, "999 views", "1,000 views", -1},
    };
    for (const Case& c : cases) {
        const ResultRow a = rowWith(c.column, c.a), b = rowWith(c.column, c.b);
        EXPECT_EQ(compareRows(a, b, c.column, false), c.ascending)
            << c.column << " " << c.a.toStdString() << " / " << c.b.toStdString();
        EXPECT_EQ(compareRows(a, b, c.column, true), -c.ascending)
            << c.column << " " << c.a.toStdString() << " / " << c.b.toStdString();
    }

    ResultRow full{"Zebra", "10:00", "5 views", "id1"};
    ResultRow other{"apple", "9:59", "7 views", "id2"};
    for (const bool bsort : {false, true})
        EXPECT_EQ(compareRows(full, other, 0, bsort), 0);
    EXPECT_THROW(compareRows(rowWith(2, "4:"), rowWith(2, "1:00"), 2, false), AppError);
}

TEST(Ordering, LengthErrorNamesItem1WhenBothFail) {
    const std::pair<const char*, const char*> cases[] = {
        {"live", "soon"}, {"1:00", "soon"}, {"live", "1:00"}};
    for (const auto& [first, second] : cases) {
        const QString expected =
            QStringLiteral("'%1' is not a valid integer value")
                .arg(QLatin1String(QByteArray(first) == "1:00" ? second : first));
        try {
            compareRows(rowWith(2, first), rowWith(2, second), 2, false);
            ADD_FAILURE() << first << " / " << second;
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(), expected) << first << " / " << second;
        }
    }
}

namespace {

bool isPermutation(std::vector<int> order) {
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] != int(i))
            return false;
    }
    return true;
}

std::vector<int> iota(int n) {
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    return order;
}

}  // namespace

TEST(MergeSortIndices, SortsAndKeepsTiesInOrder) {
    QRandomGenerator rng(42);
    for (const int n : {0, 1, 2, 3, 7, 64, 1000}) {
        std::vector<int> keys(static_cast<size_t>(n));
        for (int& k : keys)
            k = int(rng.bounded(10));
        std::vector<int> order = iota(n);
        // The list's own tie rule: -1 whenever not greater.
        mergeSortIndices(order,
                         [&](int a, int b) { return keys[size_t(a)] > keys[size_t(b)] ? 1 : -1; });
        ASSERT_EQ(order.size(), size_t(n));
        for (size_t i = 1; i < order.size(); ++i) {
            const int prev = order[i - 1], cur = order[i];
            ASSERT_LE(keys[size_t(prev)], keys[size_t(cur)]) << n;
            if (keys[size_t(prev)] == keys[size_t(cur)]) {
                EXPECT_LT(prev, cur) << "tie reordered, n=" << n;
            }
        }
    }
}

TEST(MergeSortIndices, EndsAndKeepsEveryElementWhateverTheAnswers) {
    QRandomGenerator rng(7);
    const std::pair<const char*, std::function<int(int, int)>> comparators[] = {
        {"always -1", [](int, int) { return -1; }},
        {"always +1", [](int, int) { return 1; }},
        {"always 0", [](int, int) { return 0; }},
        {"random", [&](int, int) { return int(rng.bounded(3)) - 1; }},
        {"cyclic", [](int a, int b) { return (a % 3 + 1) % 3 == b % 3 ? 1 : -1; }},
    };
    for (const auto& [name, compare] : comparators) {
        for (const int n : {2, 3, 5, 33, 500}) {
            std::vector<int> order = iota(n);
            mergeSortIndices(order, compare);
            EXPECT_TRUE(isPermutation(order)) << name << " n=" << n;
        }
    }
    std::vector<int> order = iota(50);
    mergeSortIndices(order, [](int, int) { return -1; });
    EXPECT_EQ(order, iota(50));
}

TEST(MergeSortIndices, ThrowingComparisonLeavesOrderUntouched) {
    std::vector<int> order = {4, 2, 0, 3, 1};
    int calls = 0;
    EXPECT_THROW(mergeSortIndices(order,
                                  [&](int a, int b) {
                                      if (++calls == 4)
                                          throw AppError("bad");
                                      return a - b;
                                  }),
                 AppError);
    EXPECT_EQ(order, (std::vector<int>{4, 2, 0, 3, 1}));
}
