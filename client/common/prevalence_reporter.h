// Anonymous prevalence reports: one detection posted as an HTML form
// (prevalence_form.h) to the address the URL table gives for
// "PREV_POST_URL", directly or through the proxy of the program's proxy
// settings, following a use-proxy answer a bounded number of times. The post
// is synchronous and never shows anything.
#pragma once

#include <cstdint>
#include <string>

#include "client/common/proxy_settings.h"

namespace olvex {

inline constexpr char kPrevalenceFormUrlKey[] = "PREV_POST_URL";
inline constexpr char kDefaultPrevalenceFormUrl[] =
    "http://research.kelvangorsewatch.example/prevalence/report.asp";
// Attempts of one report: the first, and one for each use-proxy answer.
inline constexpr int kMaxPrevalencePostAttempts = 3;
// Connect, send and receive time-outs of the post.
inline constexpr unsigned long kPrevalencePostTimeoutMs = 60000;

class CPrevalenceReporter {
  public:
    // Posts one report: machine id, pest id, PVT, name (trimmed), the
    // location (trimmed) and, when location_is_file, the file's MD5 digest;
    // the system locale's country and today's date. A use-proxy answer
    // changes the proxy of proxy_settings (not its store). 0 when the server
    // answered with a status from 200 to 299, -1 otherwise (also without
    // proxy settings).
    int ReportPest(const std::string& machine_id, std::int32_t pest_id, std::int32_t pvt,
                   const std::string& pest_name, bool location_is_file, const std::string& location,
                   CProxySettings* proxy_settings) const;
};

}  // namespace olvex
