#include "client/common/proxy_form.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(ProxyFormTest, OutcomesOfTheFourFields) {
    struct Case {
        ProxyFormFields fields;
        ProxyFormOutcome outcome;
        std::int32_t port;
        bool ask;
    };
    const Case cases[] = {
        {{"", "", "", ""}, ProxyFormOutcome::kClear, 0, false},
        // The port alone does not keep a proxy.
        {{"  ", "8080", " ", "\t"}, ProxyFormOutcome::kClear, 0, false},
        {{"", "8080", "user", ""}, ProxyFormOutcome::kNoAddress, 0, false},
        {{"", "", "", "secret"}, ProxyFormOutcome::kNoAddress, 0, false},
        {{"proxy", "", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "0", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "65536", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "70000", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "80x", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "-80", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "99999999999999999999", "", ""}, ProxyFormOutcome::kBadPort, 0, false},
        {{"proxy", "1", "", ""}, ProxyFormOutcome::kSave, 1, false},
        {{" proxy ", " 65535 ", "", ""}, ProxyFormOutcome::kSave, 65535, false},
        {{"proxy", "8080", "user", "pass"}, ProxyFormOutcome::kSave, 8080, false},
        {{"proxy", "8080", "user", ""}, ProxyFormOutcome::kSave, 8080, true},
        {{"proxy", "8080", "", "pass"}, ProxyFormOutcome::kSave, 8080, true},
        {{"proxy", "8080", "user", "   "}, ProxyFormOutcome::kSave, 8080, true},
    };
    for (const Case& c : cases) {
        const ProxyFormCheck check = CheckProxyForm(c.fields);
        SCOPED_TRACE("host '" + c.fields.host + "' port '" + c.fields.port + "' account '" +
                     c.fields.account + "' password '" + c.fields.password + "'");
        EXPECT_EQ(check.outcome, c.outcome);
        EXPECT_EQ(check.port, c.port);
        EXPECT_EQ(check.ask_about_blank_credential, c.ask);
    }
}

TEST(ProxyFormTest, StoredTextsAreTrimmed) {
    const ProxyFormCheck check =
        CheckProxyForm({"\t127.0.0.1 ", "3128", "  DOMAIN\\user ", " p w "});
    ASSERT_EQ(check.outcome, ProxyFormOutcome::kSave);
    EXPECT_EQ(check.host, "127.0.0.1");
    EXPECT_EQ(check.account, "DOMAIN\\user");
    // Blanks inside a password are the password's.
    EXPECT_EQ(check.password, "p w");
    EXPECT_EQ(TrimBlanks("  \t "), "");
}

}  // namespace
}  // namespace olvex
