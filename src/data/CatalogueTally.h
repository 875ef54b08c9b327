#pragma once
#include "data/Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace invexa {

// Lines of the catalogue by their texts, numbered from 0 in the order first seen: an open-addressing table of
// one hash a look-up and, nearly always, one comparison of the texts. A key is maker, application and version
// joined by NULs; the lengths of maker and application are kept, so a key is split as it was joined.
class TCatalogueLineIds {
public:
    struct TFound {
        std::uint32_t Id;
        bool Added;
    };
    TFound Find(std::string_view key, std::size_t makerSize, std::size_t appSize);
    std::size_t Size() const { return lines_.size(); }
    // The line's texts; Version empty and Installs 0.
    TCatalogueLine Line(std::uint32_t id) const;
    struct TKey {
        std::string Key;
        std::size_t MakerSize, AppSize;
    };
    const TKey &KeyOf(std::uint32_t id) const { return lines_[id]; }

private:
    struct TSlot {
        std::uint64_t Hash = 0;
        std::uint32_t Id = Empty;
    };
    static constexpr std::uint32_t Empty = UINT32_MAX;
    void Grow();

    std::vector<TSlot> slots_ = std::vector<TSlot>(1024);
    std::vector<TKey> lines_;
};

// Counts each (user, line) pair once, by application and by version, for rows that come grouped by user (a
// number, new for each user): a line remembers the last user that counted it. One look-up a row: a line by
// version knows its line by application.
class TCatalogueTally {
public:
    void Add(std::uint64_t user, std::string_view maker, std::string_view app, std::string_view version);
    // Adds another tally's installs, counted over other users, to this one's.
    void AddUp(const TCatalogueTally &other);
    // Both splits, each in catalogue order.
    TCatalogue::TCounts Take() const;

private:
    struct TCount {
        std::uint64_t LastUser = 0;
        std::int64_t Installs = 0;
        void Count(std::uint64_t user) {
            if (LastUser != user) {
                LastUser = user;
                ++Installs;
            }
        }
    };
    struct TSplit {
        TCatalogueLineIds Ids;
        std::vector<TCount> Counts;
        std::uint32_t Find(std::string_view key, std::size_t makerSize, std::size_t appSize);
        std::vector<TCatalogueLine> Lines() const;
    };

    // The line by version of the key, adding it (and its line by application when new) when new.
    std::uint32_t FindVersion(std::string_view key, std::size_t makerSize, std::size_t appSize);

    std::string key_;
    TSplit apps_, versions_;
    std::vector<std::uint32_t> appOf_; // each line by version's line by application
};

} // namespace invexa
