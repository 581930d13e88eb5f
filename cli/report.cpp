#include "report.h"

namespace kvcli {

std::string locationPrefix(const std::string& where)
{
    if (where.empty())
        return std::string();
    // "G: ..." but "/dev/sdb: ...".
    return where.back() == ':' ? where + " " : where + ": ";
}

int printResults(const std::vector<Result>& results, bool json, Environment& env)
{
    int status = kDone;
    nlohmann::ordered_json doc = nlohmann::ordered_json::array();
    for (const Result& r : results) {
        if (!r.ok()) {
            if (status == kDone)
                status = r.code;
            env.err("korvane-cli: " + locationPrefix(r.where) + r.error + "\n");
        }
        if (json) {
            nlohmann::ordered_json item;
            item["where"] = r.where.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.where);
            item["ok"] = r.ok();
            item["code"] = static_cast<int>(r.code);
            item["error"] = r.ok() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.error);
            for (auto it = r.fields.begin(); it != r.fields.end(); ++it)
                item[it.key()] = it.value();
            doc.push_back(item);
        } else if (r.ok()) {
            env.out(r.where + "  " + r.line + "\n");
        }
    }
    if (json)
        env.out(doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    return status;
}

}  // namespace kvcli
