#include "unitdiff.h"

#include <vector>

namespace {

struct Differ
{
    const int *a;
    const int *b;
    QList<int> &match;

    // Diffs a[a0, a1) against b[b0, b1), writing kept pairs into match.
    void diff(int a0, int a1, int b0, int b1)
    {
        while (a0 < a1 && b0 < b1 && a[a0] == b[b0])
            match[a0++] = b0++;
        while (a0 < a1 && b0 < b1 && a[a1 - 1] == b[b1 - 1])
            match[--a1] = --b1;
        if (a0 == a1 || b0 == b1)
            return; // only insertions or only deletions are left
        int x = 0;
        int y = 0;
        if (!bisect(a0, a1, b0, b1, x, y))
            return; // nothing in common: everything is replaced
        diff(a0, a0 + x, b0, b0 + y);
        diff(a0 + x, a1, b0 + y, b1);
    }

    // Finds the middle snake of the two ranges; (x, y) is a split point
    // relative to (a0, b0). False when the ranges share nothing.
    bool bisect(int a0, int a1, int b0, int b1, int &splitX, int &splitY)
    {
        const int n = a1 - a0;
        const int m = b1 - b0;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD;
        const int length = 2 * maxD + 2;
        std::vector<int> v1(length, -1);
        std::vector<int> v2(length, -1);
        v1[offset + 1] = 0;
        v2[offset + 1] = 0;
        const int delta = n - m;
        // With an odd delta the forward path meets the reverse one.
        const bool front = (delta % 2) != 0;
        int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
        for (int d = 0; d < maxD; ++d) {
            for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                const int k1off = offset + k1;
                int x1 = (k1 == -d || (k1 != d && v1[k1off - 1] < v1[k1off + 1])) ? v1[k1off + 1]
                                                                                 : v1[k1off - 1] + 1;
                int y1 = x1 - k1;
                while (x1 < n && y1 < m && a[a0 + x1] == b[b0 + y1]) {
                    ++x1;
                    ++y1;
                }
                v1[k1off] = x1;
                if (x1 > n) {
                    k1end += 2;
                } else if (y1 > m) {
                    k1start += 2;
                } else if (front) {
                    const int k2off = offset + delta - k1;
                    if (k2off >= 0 && k2off < length && v2[k2off] != -1 && x1 >= n - v2[k2off]) {
                        splitX = x1;
                        splitY = y1;
                        return true;
                    }
                }
            }
            for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
                const int k2off = offset + k2;
                int x2 = (k2 == -d || (k2 != d && v2[k2off - 1] < v2[k2off + 1])) ? v2[k2off + 1]
                                                                                 : v2[k2off - 1] + 1;
                int y2 = x2 - k2;
                while (x2 < n && y2 < m && a[a1 - 1 - x2] == b[b1 - 1 - y2]) {
                    ++x2;
                    ++y2;
                }
                v2[k2off] = x2;
                if (x2 > n) {
                    k2end += 2;
                } else if (y2 > m) {
                    k2start += 2;
                } else if (!front) {
                    const int k1off = offset + delta - k2;
                    if (k1off >= 0 && k1off < length && v1[k1off] != -1) {
                        const int x1 = v1[k1off];
                        const int y1 = offset + x1 - k1off;
                        if (x1 >= n - x2) {
                            splitX = x1;
                            splitY = y1;
                            return true;
                        }
                    }
                }
            }
        }
        return false;
    }
};

} // namespace

QList<int> diffUnits(const QList<int> &from, const QList<int> &to)
{
    QList<int> match(from.size(), -1);
    Differ differ{from.constData(), to.constData(), match};
    differ.diff(0, int(from.size()), 0, int(to.size()));
    return match;
}
