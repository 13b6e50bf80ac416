#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

struct ResultRow;

// Titles with ASCII letters folded to upper case, compared by UTF-16 code units; -1, 0 or 1.
int compareTitles(const QString& a, const QString& b);

// Seconds of a "h:mm:ss" length text. Throws AppError when a part is not a whole number.
qint64 lengthKey(const QString& text);

// The number at the head of a view counts text ("1,234,567 views" -> 1234567); nothing when it
// does not convert. 64-bit, so counts beyond 2^31 sort by their value.
std::optional<qint64> viewCountKey(const QString& text);

// The comparison of two rows for column nSortCol (1 title, 2 length, 3 view counts) and the
// direction bsort (true: descending). Negative: a stands first.
int compareRows(const ResultRow& a, const ResultRow& b, int nSortCol, bool bsort);

// A merge sort of positions that ends and keeps every element whatever compare answers: the
// head of the left run is taken unless compare(left, right) is positive.
void mergeSortIndices(std::vector<int>& order, const std::function<int(int, int)>& compare);
