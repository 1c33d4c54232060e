#include "Commands.h"

#include "Json.h"
#include "alerts/AlertItems.h"

#include <cstdio>
#include <string>

const char* const kDumpHelp = "Usage: tallyglass-tool dump FILE.bal\n"
                              "\n"
                              "Decrypts and parses one alert definition file exactly as the program does and\n"
                              "prints its list name and alerts as one JSON object. Stored state and custom\n"
                              "alerts are not read. Exit code 2 when the file cannot be read.\n";

std::string DumpJson(const TAlertItems& list) {
    std::string out = "{\"list_name\": " + JsonString(list.ListName) + ", \"alerts\": [";
    bool firstAlert = true;
    for (const auto& alert : list.Alerts) {
        out += firstAlert ? "" : ", ";
        firstAlert = false;
        out += "{\"name\": " + JsonString(alert->Name);
        out += ", \"unique_id\": " + JsonString(alert->unique_id);
        out += ", \"page_url\": " + JsonString(alert->page_url);
        out += ", \"pattern\": " + JsonString(alert->pattern);
        out += ", \"info_script\": " + JsonString(alert->info_script);
        out += std::string(", \"need_auth\": ") + JsonBool(alert->NeedAuth);
        out += ", \"post_data\": " + JsonString(alert->post_data);
        out += ", \"chunks\": " + JsonString(alert->chunks);
        out += std::string(", \"is_post\": ") + JsonBool(alert->IsPost);
        out += ", \"group_name\": " + JsonString(alert->group_name);
        out += ", \"chunk_list\": [";
        bool firstChunk = true;
        for (const auto& chunk : alert->ChunkList) {
            out += firstChunk ? "" : ", ";
            firstChunk = false;
            out += "{\"chunk_url\": " + JsonString(chunk->chunk_url);
            out += std::string(", \"is_post\": ") + JsonBool(chunk->IsPost);
            out += ", \"chunk_postdata\": " + JsonString(chunk->chunk_postdata);
            out += ", \"chunk_pattern\": " + JsonString(chunk->chunk_pattern);
            out += ", \"chunk_info_script\": " + JsonString(chunk->chunk_info_script) + "}";
        }
        out += "]}";
    }
    out += "]}\n";
    return out;
}

int RunDump(const TArgs& args) {
    if (args.size() != 1)
        return UsageError("expected one definition file", kDumpHelp);
    std::string bytes;
    if (!ReadInputOrReport(args[0], "definition file", bytes, false))
        return 2;
    WarnUnlessText(args[0], bytes);
    // A list without a registry root reads no stored state and no custom alerts.
    TAlertItems list;
    list.FileName = args[0];
    list.LoadFromBytes(std::move(bytes));
    const std::string json = DumpJson(list);
    return WriteStdout(json) ? 0 : 2;
}
