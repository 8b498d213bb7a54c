#include "client/common/proxy_form.h"

#include <gtest/gtest.h>

#include <vector>

namespace olvex {
namespace {

struct FormCase {
    const char* name;
    ProxyFormFields fields;
    ProxyFormOutcome outcome;
    bool ask = false;
    std::int32_t port = 0;
};

TEST(ProxyFormTest, DecidesFromTheTrimmedFields) {
    const std::vector<FormCase> cases = {
        {"all empty clears", {"", "8080", "", ""}, ProxyFormOutcome::kClear},
        {"blanks only clear", {"  ", "", " \t", ""}, ProxyFormOutcome::kClear},
        {"account without address", {"", "80", "user", "pw"}, ProxyFormOutcome::kNoAddress},
        {"port 0", {"proxy", "0", "", ""}, ProxyFormOutcome::kBadPort},
        {"port 70000", {"proxy", "70000", "", ""}, ProxyFormOutcome::kBadPort},
        {"port with trailing characters", {"proxy", "80x", "", ""}, ProxyFormOutcome::kBadPort},
        {"no port", {"proxy", "", "", ""}, ProxyFormOutcome::kBadPort},
        {"negative port", {"proxy", "-80", "", ""}, ProxyFormOutcome::kBadPort},
        {"highest port", {"proxy", " 65535 ", "", ""}, ProxyFormOutcome::kSave, false, 65535},
        {"both credentials",
         {"proxy", "3128", "DOM\\u", "pw"},
         ProxyFormOutcome::kSave,
         false,
         3128},
        {"only an account asks", {"proxy", "3128", "u", " "}, ProxyFormOutcome::kSave, true, 3128},
        {"only a password asks", {"proxy", "1", "", "pw"}, ProxyFormOutcome::kSave, true, 1},
    };
    for (const auto& c : cases) {
        const ProxyFormCheck check = CheckProxyForm(c.fields);
        EXPECT_EQ(check.outcome, c.outcome) << c.name;
        if (c.outcome == ProxyFormOutcome::kSave) {
            EXPECT_EQ(check.ask_about_blank_credential, c.ask) << c.name;
            EXPECT_EQ(check.port, c.port) << c.name;
        }
    }
    const ProxyFormCheck trimmed = CheckProxyForm({" proxy.example ", "80", " DOM\\u ", " p w "});
    EXPECT_EQ(trimmed.host, "proxy.example");
    EXPECT_EQ(trimmed.account, "DOM\\u");
    EXPECT_EQ(trimmed.password, "p w");
}

}  // namespace
}  // namespace olvex
