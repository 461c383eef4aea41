#include "vistrel/VistrelClient.hpp"

#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"
#include "vistrel/VistrelPrint.hpp"

#include <gtest/gtest.h>

namespace orvane::vistrel {
namespace {

using orvane::test::CannedResponse;
using orvane::test::HttpTestServer;

// Expected digests are computed independently (Python's hashlib over the
// windows-1251 bytes of the texts).

// ---- secret check ----------------------------------------------------------

struct SecretCase {
    const char* name;
    std::string_view login;
    std::string_view password;
    std::string_view secret;
    bool green;
};

const SecretCase kSecretCases[] = {
    // md5("user" + md5("pass")) = bec93e7e...
    {"FirstFourDigits", "user", "pass", "bec9", true},
    {"UpperCaseLettersDiffer", "user", "pass", "BEC9", false},
    {"ShorterSecret", "user", "pass", "bec", false},
    {"LongerSecret", "user", "pass", "bec93", false},
    {"EmptySecret", "user", "pass", "", false},
    {"OtherPassword", "user", "pass2", "bec9", false},
    // md5("user9" + md5("pass")) = 6034ebe3...: no letters, so case cannot matter.
    {"UpperCaseOfDigitsOnly", "user9", "pass", "6034", true},
    // Cyrillic texts are digested as windows-1251 bytes: 1f7f8d2e...
    {"CodePageBytes", "Иван", "пароль", "1f7f", true},
};

class SecretTest : public ::testing::TestWithParam<SecretCase> {};

TEST_P(SecretTest, LabelColour)
{
    const SecretCase& c = GetParam();
    EXPECT_EQ(VistrelSecretMatches(c.login, c.password, c.secret), c.green);
}

INSTANTIATE_TEST_SUITE_P(Rows, SecretTest, ::testing::ValuesIn(kSecretCases), orvane::test::CaseName{});

// ---- the request as the service sees it ------------------------------------

struct RequestCase {
    const char* name;
    std::string_view login;
    std::string_view password;
    std::string_view target;
};

const RequestCase kRequestCases[] = {
    {"Plain", "user", "pass", "/site/vl_qve.php?v=1&lg=user&ps=4b46f12e2f8b1ae551cf95340ab25415"},
    {"CyrillicLoginAsCodePageBytes", "Иван", "пароль",
     "/site/vl_qve.php?v=1&lg=%C8%E2%E0%ED&ps=e0ace9920090732c2eb033994b7e53e9"},
    {"ReservedCharactersEncoded", "a b&c", "x",
     "/site/vl_qve.php?v=1&lg=a%20b%26c&ps=a28d42abd2aec72a5af5c758fb0ab569"},
};

class RequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTest, TargetAndHeaders)
{
    const RequestCase& c = GetParam();
    HttpTestServer server;
    server.Set("/site/vl_qve.php", CannedResponse{200, ""});
    const auto client = MakeCurlHttpClient();

    FetchVistrelUsers(*client, VistrelBaseAddress(server.BaseUrl()), c.login, c.password);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, c.target);
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
    EXPECT_EQ(requests[0].Header("Content-Type"), "text/html");
}

INSTANTIATE_TEST_SUITE_P(Rows, RequestTest, ::testing::ValuesIn(kRequestCases), orvane::test::CaseName{});

// ---- polls -----------------------------------------------------------------

std::string Line(std::string_view name, std::string_view lat, std::string_view id1, std::string_view id2)
{
    return "VL," + std::string(name) + "," + std::string(lat) + ",37.5,0,12.6,90,5," + std::string(id1) +
           ",10:30," + std::string(id2);
}

TVistrelUser User(std::string name, double lat, std::int32_t id1, std::int32_t id2)
{
    TVistrelUser u;
    u.FirstId = id1;
    u.SecondId = id2;
    u.Name = std::move(name);
    u.Lat = lat;
    u.Lon = 37.5;
    u.Speed = 12.6;
    u.Course = 90;
    u.Value7 = 5;
    u.TimeText = "10:30";
    return u;
}

// Every poll starts from a list that already holds one user (1/1), as after
// an earlier poll.
TVistrelUser Known() { return User("Known", 10, 1, 1); }

struct PollCase {
    const char* name;
    int status;
    std::string body;
    VistrelPollState state;
    std::size_t accepted;
    std::vector<TVistrelUser> listAfter;
    std::string_view errorText;
};

const PollCase kPollCases[] = {
    {"TwoUsersOfThreeLines", 200,
     Line("Anna", "55.5", "7", "70") + "\n" + "XX,Boris,1,2,3,4,5,6,8,t,80\n" + Line("Clara", "56.5", "9", "90") + "\n",
     VistrelPollState::Updated, 2, {Known(), User("Anna", 55.5, 7, 70), User("Clara", 56.5, 9, 90)}, ""},
    {"EmptyAnswer", 200, "", VistrelPollState::NoUsers, 0, {Known()}, ""},
    {"OnlyOtherMarkers", 200, "ERR,login failed\n", VistrelPollState::NoUsers, 0, {Known()}, ""},
    {"NonNumericLatitudeSkipped", 200, Line("Anna", "north", "7", "70") + "\n" + Line("Clara", "56.5", "9", "90"),
     VistrelPollState::Updated, 1, {Known(), User("Clara", 56.5, 9, 90)}, ""},
    {"TenFieldsSkipped", 200, "VL,Anna,55.5,37.5,0,12.6,90,5,7,10:30\n", VistrelPollState::NoUsers, 0, {Known()},
     ""},
    {"CarriageReturnBeforeLineFeedSkipsLine", 200, Line("Anna", "55.5", "7", "70") + "\r\n",
     VistrelPollState::NoUsers, 0, {Known()}, ""},
    {"SameIdentifiersUpdateOneUser", 200,
     Line("Anna", "55.5", "7", "70") + "\n" + Line("Anna", "55.6", "7", "70") + "\n" + Line("Renamed", "11", "1", "1"),
     VistrelPollState::Updated, 3, {User("Renamed", 11, 1, 1), User("Anna", 55.6, 7, 70)}, ""},
    {"SameNameOtherIdentifiersTwoUsers", 200, Line("Anna", "55.5", "7", "70") + "\n" + Line("Anna", "55.6", "7", "71"),
     VistrelPollState::Updated, 2, {Known(), User("Anna", 55.5, 7, 70), User("Anna", 55.6, 7, 71)}, ""},
    {"LeadingCommaRead", 200, "," + Line("Anna", "55.5", "7", "70"), VistrelPollState::Updated, 1,
     {Known(), User("Anna", 55.5, 7, 70)}, ""},
    // UTF-8 names keep what the code page holds; the rest becomes '?'.
    {"NamesLimitedToCodePage", 200, Line("Ёжик 😀", "55.5", "7", "70"), VistrelPollState::Updated, 1,
     {Known(), User("Ёжик ?", 55.5, 7, 70)}, ""},
    {"BytesThatAreNotUtf8BecomeQuestionMarks", 200, Line("A\xFF\xC3", "55.5", "7", "70"), VistrelPollState::Updated,
     1, {Known(), User("A??", 55.5, 7, 70)}, ""},
    {"HttpErrorStatus", 500, Line("Anna", "55.5", "7", "70"), VistrelPollState::Failed, 0, {Known()},
     "HTTP/1.1 500 Internal Server Error"},
    {"NotFound", 404, "", VistrelPollState::Failed, 0, {Known()}, "HTTP/1.1 404 Not Found"},
};

class PollTest : public ::testing::TestWithParam<PollCase> {};

TEST_P(PollTest, ListAndLabel)
{
    const PollCase& c = GetParam();
    HttpTestServer server;
    server.Set("/site/vl_qve.php", CannedResponse{c.status, c.body, {}, "text/html; charset=utf-8"});
    const auto client = MakeCurlHttpClient();
    std::vector<TVistrelUser> list = {Known()};

    const VistrelPollResult result = FetchVistrelUsers(*client, VistrelBaseAddress(server.BaseUrl()), "u", "p");
    if (!result.failed) MergeVistrelUsers(list, result.users);

    EXPECT_EQ(result.State(), c.state);
    EXPECT_EQ(result.Accepted(), c.accepted);
    EXPECT_EQ(result.errorText, c.errorText);
    EXPECT_EQ(list, c.listAfter);
}

INSTANTIATE_TEST_SUITE_P(Rows, PollTest, ::testing::ValuesIn(kPollCases), orvane::test::CaseName{});

TEST(Poll, NetworkFailureIsRedWithTheClientsMessage)
{
    const orvane::test::RefusingPort nobody;
    const auto client = MakeCurlHttpClient();
    std::vector<TVistrelUser> list = {Known()};

    const VistrelPollResult result = FetchVistrelUsers(*client, VistrelBaseAddress(nobody.BaseUrl()), "u", "p");
    if (!result.failed) MergeVistrelUsers(list, result.users);

    EXPECT_EQ(result.State(), VistrelPollState::Failed);
    EXPECT_NE(result.errorText.find(std::to_string(nobody.Port())), std::string::npos) << result.errorText;
    EXPECT_EQ(list, std::vector<TVistrelUser>{Known()});
}

} // namespace
} // namespace orvane::vistrel
