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
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        TSlot &slot = slots_[at];
        if (slot.Id == Empty) {
            slot = {hash, static_cast<std::uint32_t>(lines_.size())};
            lines_.push_back({std::string(key), makerSize, appSize});
            if (lines_.size() * 2 > slots_.size())
                Grow();
            return {static_cast<std::uint32_t>(lines_.size() - 1), true};
        }
        if (slot.Hash == hash && lines_[slot.Id].Key == key)
            return {slot.Id, false};
    }
}

void TCatalogueLineIds::Grow() {
    std::vector<TSlot> old = std::move(slots_);
    slots_.assign(old.size() * 2, TSlot{});
    const std::size_t mask = slots_.size() - 1;
    for (const TSlot &slot : old) {
        if (slot.Id == Empty)
            continue;
        std::size_t at = slot.Hash & mask;
        while (slots_[at].Id != Empty)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

TCatalogueLine TCatalogueLineIds::Line(std::uint32_t id) const {
    const TKey &k = lines_[id];
    TCatalogueLine line{k.Key.substr(0, k.MakerSize), k.Key.substr(k.MakerSize + 1, k.AppSize), "", 0};
    if (k.Key.size() > k.MakerSize + 1 + k.AppSize)
        line.Version = k.Key.substr(k.MakerSize + 1 + k.AppSize + 1);
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
        const auto &[key, makerSize, appSize] = other.versions_.Ids.KeyOf(id);
        versions_.Counts[FindVersion(key, makerSize, appSize)].Installs += other.versions_.Counts[id].Installs;
    }
    for (std::uint32_t id = 0; id < other.apps_.Ids.Size(); ++id) {
        const auto &[key, makerSize, appSize] = other.apps_.Ids.KeyOf(id);
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
