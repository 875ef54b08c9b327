#include "data/CatalogueTally.h"

#include <algorithm>
#include <cstring>

namespace invexa {
namespace {

// Eight bytes at a time, each mixed in by a multiplication; good enough to spread a few thousand keys.
std::uint64_t Hash(std::string_view key) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ key.size();
    std::size_t at = 0;
    for (; at + 8 <= key.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, key.data() + at, 8);
        h = (h ^ word) * 0xbf58476d1ce4e5b9ULL;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, key.data() + at, key.size() - at);
    h = (h ^ tail) * 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
}

} // namespace

TCatalogueLineIds::TFound TCatalogueLineIds::Find(std::string_view key, std::size_t makerSize, std::size_t appSize) {
    const std::uint64_t hash = Hash(key);
    const std::uint64_t tag = hash & ~std::uint64_t(UINT32_MAX);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const std::uint64_t slot = slots_[at];
        if (slot == 0) {
            lines_.push_back({keys_.size(), key.size(), makerSize, appSize});
            keys_.append(key);
            slots_[at] = tag | lines_.size();
            if (lines_.size() * 4 > slots_.size() * 3)
                Grow();
            return {static_cast<std::uint32_t>(lines_.size() - 1), true};
        }
        const auto id = static_cast<std::uint32_t>(slot - 1);
        if ((slot & ~std::uint64_t(UINT32_MAX)) == tag && KeyOf(id).Key == key)
            return {id, false};
    }
}

void TCatalogueLineIds::Grow() {
    slots_.assign(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t id = 0; id < lines_.size(); ++id) {
        const std::uint64_t hash = Hash(KeyOf(id).Key);
        std::size_t at = hash & mask;
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = (hash & ~std::uint64_t(UINT32_MAX)) | (id + 1);
    }
}

TCatalogueLineIds::TKey TCatalogueLineIds::KeyOf(std::uint32_t id) const {
    const TLine &line = lines_[id];
    return {std::string_view(keys_).substr(line.At, line.Size), line.MakerSize, line.AppSize};
}

TCatalogueLine TCatalogueLineIds::Line(std::uint32_t id) const {
    const auto [key, makerSize, appSize] = KeyOf(id);
    TCatalogueLine line{std::string(key.substr(0, makerSize)), std::string(key.substr(makerSize + 1, appSize)), "", 0};
    if (key.size() > makerSize + 1 + appSize)
        line.Version = key.substr(makerSize + 1 + appSize + 1);
    return line;
}

std::uint32_t TCatalogueTally::TSplit::Find(std::string_view key, std::size_t makerSize, std::size_t appSize) {
    const TCatalogueLineIds::TFound found = Ids.Find(key, makerSize, appSize);
    if (found.Added)
        Counts.emplace_back();
    return found.Id;
}

std::vector<TCatalogueLine> TCatalogueTally::TSplit::Lines() const {
    std::vector<TCatalogueLine> lines;
    lines.reserve(Ids.Size());
    for (std::uint32_t id = 0; id < Ids.Size(); ++id) {
        lines.push_back(Ids.Line(id));
        lines.back().Installs = Counts[id].Installs;
    }
    return lines;
}

std::uint32_t TCatalogueTally::FindVersion(std::string_view key, std::size_t makerSize, std::size_t appSize) {
    const std::size_t before = versions_.Ids.Size();
    const std::uint32_t id = versions_.Find(key, makerSize, appSize);
    if (versions_.Ids.Size() != before)
        appOf_.push_back(apps_.Find(key.substr(0, makerSize + 1 + appSize), makerSize, appSize));
    return id;
}

void TCatalogueTally::Add(std::uint64_t user, std::string_view maker, std::string_view app, std::string_view version) {
    // Joined in a buffer kept from row to row: no allocation once it is long enough.
    const std::size_t size = maker.size() + app.size() + version.size() + 2;
    if (key_.size() < size)
        key_.resize(size * 2);
    char *at = std::copy(maker.begin(), maker.end(), key_.data());
    *at++ = '\0';
    at = std::copy(app.begin(), app.end(), at);
    *at++ = '\0';
    std::copy(version.begin(), version.end(), at);
    const std::uint32_t id = FindVersion(std::string_view(key_.data(), size), maker.size(), app.size());
    versions_.Counts[id].Count(user);
    apps_.Counts[appOf_[id]].Count(user);
}

void TCatalogueTally::AddUp(const TCatalogueTally &other) {
    for (std::uint32_t id = 0; id < other.versions_.Ids.Size(); ++id) {
        const auto [key, makerSize, appSize] = other.versions_.Ids.KeyOf(id);
        versions_.Counts[FindVersion(key, makerSize, appSize)].Installs += other.versions_.Counts[id].Installs;
    }
    for (std::uint32_t id = 0; id < other.apps_.Ids.Size(); ++id) {
        const auto [key, makerSize, appSize] = other.apps_.Ids.KeyOf(id);
        apps_.Counts[apps_.Find(key, makerSize, appSize)].Installs += other.apps_.Counts[id].Installs;
    }
}

TCatalogue::TCounts TCatalogueTally::Take() const {
    TCatalogue::TCounts counts{apps_.Lines(), versions_.Lines()};
    TCatalogue::Sort(counts.Apps);
    TCatalogue::Sort(counts.Versions);
    return counts;
}

} // namespace invexa
