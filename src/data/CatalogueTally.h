#pragma once
#include "data/Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace invexa {

// Lines of the catalogue by their texts, numbered from 0 in the order first seen: an open-addressing table of
// one hash a look-up and, nearly always, one comparison of the texts. A key is maker, application and version
// joined by NULs; the lengths of maker and application are kept, so a key is split as it was joined. The table
// is looked up once a row, so it is kept small enough to stay in the processor's cache: slots of 8 bytes, the
// keys one after another in one string.
class TCatalogueLineIds {
public:
    struct TFound {
        std::uint32_t Id;
        bool Added;
    };
    struct TKey {
        std::string_view Key;
        std::size_t MakerSize, AppSize;
    };
    TFound Find(std::string_view key, std::size_t makerSize, std::size_t appSize);
    std::size_t Size() const { return lines_.size(); }
    TKey KeyOf(std::uint32_t id) const;
    // The line's texts; Installs 0.
    TCatalogueLine Line(std::uint32_t id) const;

private:
    struct TLine {
        std::size_t At, Size, MakerSize, AppSize;
    };
    void Grow();

    // The upper half of a key's hash and its id + 1; 0 is an empty slot.
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);
    std::string keys_;
    std::vector<TLine> lines_;
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
