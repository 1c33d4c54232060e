#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TAlertItems;

// Unit of a check interval, shared by alerts and currency lists.
enum class TPeriodType : std::uint8_t { minutes = 0, hours = 1, days = 2 };

// Seconds per unit of a stored period type; values outside 0-2 count as a minute.
int PeriodTypeSeconds(int periodType);

// A balance is a signed count of hundredths of the currency unit; this value means "none known".
inline constexpr std::int32_t NoBalance = -1000000;

// One step of a multi-step download.
struct TChunk {
    std::vector<std::string> Matches; // submatches found on this step's page during a check
    std::string chunk_url;
    bool IsPost = false;
    std::string chunk_postdata;
    std::string chunk_pattern;
    std::string chunk_info_script;
};

// One alert: where its page is, how to download it and how to find the balance in it, plus the
// state the user and the checks give it.
class TAlertItem {
public:
    explicit TAlertItem(TAlertItems* owner = nullptr);

    std::map<std::string, std::string> InfoValues;
    std::vector<std::unique_ptr<TChunk>> ChunkList;
    std::string Name;
    std::string unique_id;
    std::string page_url;
    std::string pattern;
    std::string info_script;
    bool NeedAuth = true;
    bool Active = false;
    std::string PageLogin;
    std::string PagePassword;
    TPeriodType PeriodType = TPeriodType::hours;
    std::int32_t Period = 1;
    TDateTime LastCheckedTime;
    std::int32_t LastBalance = NoBalance;
    std::int32_t CurrentBalance = NoBalance;
    std::string chunks;
    bool IsPost = false;
    std::string post_data;
    std::string group_name;
    TAlertItems* Owner;

    int ChunkCount() const { return static_cast<int>(ChunkList.size()); }
    TChunk& Chunk(int index) { return *ChunkList.at(static_cast<std::size_t>(index)); }
    const TChunk& Chunk(int index) const { return *ChunkList.at(static_cast<std::size_t>(index)); }
};

using TAlertVec = std::vector<TAlertItem*>;
