#include "serports.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

bool IsDigit(char C)
{
    return std::isdigit(static_cast<unsigned char>(C)) != 0;
}

std::vector<std::string> SplitPaths(const std::string &List)
{
    std::vector<std::string> paths;
    if (List.empty())
        return paths;
    std::string::size_type start = 0;
    for (std::string::size_type colon; (colon = List.find(':', start)) != std::string::npos;
         start = colon + 1)
        paths.push_back(List.substr(start, colon - start));
    paths.push_back(List.substr(start));
    return paths;
}

} // namespace

bool SerNaturalLess(const std::string &A, const std::string &B)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < A.size() && j < B.size()) {
        if (IsDigit(A[i]) && IsDigit(B[j])) {
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < A.size() && IsDigit(A[i]))
                ++i;
            while (j < B.size() && IsDigit(B[j]))
                ++j;
            // Compare the values without converting: strip leading zeros, then length, then text.
            std::string_view numberA(A.data() + startA, i - startA);
            std::string_view numberB(B.data() + startB, j - startB);
            numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            continue;
        }
        if (A[i] != B[j])
            return A[i] < B[j];
        ++i;
        ++j;
    }
    return A.size() - i < B.size() - j;
}

std::optional<std::vector<std::string>> SerPortsOverride()
{
    if (const char *override = std::getenv("ZARNELL_PORTS"))
        return SplitPaths(override);
    return std::nullopt;
}

std::vector<std::string> SerPortNames()
{
    std::optional<std::vector<std::string>> paths = SerPortsOverride();
    if (!paths)
        return SerSystemPortNames();
    std::erase(*paths, std::string());
    return *paths;
}
