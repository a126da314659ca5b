#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "host/KXLError.h"
#include "host/KXPCatalog.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"

using namespace KXP;
using ::testing::HasSubstr;

namespace {

std::string lastError()
{
    return KXL::getErrorMessage();
}

class ServerTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SDK.deinit();
        setCatalogFile("");
    }

    // SDK up, server created and logged in.
    void connect(KXPServer& server)
    {
        ASSERT_EQ(SDK.init(), 0) << lastError();
        ASSERT_EQ(server.create(), 0) << lastError();
        ASSERT_EQ(server.loginLocal(), 0) << lastError();
    }

    KXPOSMap supported;
    KXPOSMap experimental;
};

TEST_F(ServerTest, HappyPathServesTheBuiltinCatalogue)
{
    KXPServer server;
    connect(server);
    ASSERT_EQ(server.getOSMaps(supported, experimental), 0) << lastError();

    KXPOSMap builtinSupported, builtinExperimental;
    ASSERT_EQ(builtinCatalog(builtinSupported, builtinExperimental), 0);
    EXPECT_EQ(supported.size(), builtinSupported.size());
    EXPECT_EQ(experimental.size(), builtinExperimental.size());
    EXPECT_FALSE(supported.empty());

    EXPECT_EQ(server.release(), 0);
    SDK.deinit();
}

TEST_F(ServerTest, SdkInitTwiceFailsAndDeinitIsAlwaysHarmless)
{
    SDK.deinit(); // never initialised
    ASSERT_EQ(SDK.init(), 0);
    EXPECT_NE(SDK.init(), 0);
    EXPECT_THAT(lastError(), HasSubstr("already initialised"));
    SDK.deinit();
    SDK.deinit();
    EXPECT_EQ(SDK.init(), 0);
}

TEST_F(ServerTest, CallsOutOfOrderFailWithAClearText)
{
    KXPServer server;
    EXPECT_LT(server.create(), 0);
    EXPECT_THAT(lastError(), HasSubstr("SDK is not initialised"));

    ASSERT_EQ(SDK.init(), 0);
    EXPECT_NE(server.loginLocal(), 0);
    EXPECT_THAT(lastError(), HasSubstr("call create first"));
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_THAT(lastError(), HasSubstr("not logged in"));

    ASSERT_EQ(server.create(), 0);
    EXPECT_LT(server.create(), 0);
    EXPECT_THAT(lastError(), HasSubstr("already created"));
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_THAT(lastError(), HasSubstr("not logged in"));

    ASSERT_EQ(server.loginLocal(), 0);
    EXPECT_NE(server.loginLocal(), 0);
    EXPECT_THAT(lastError(), HasSubstr("already logged in"));

    EXPECT_TRUE(supported.empty());
    EXPECT_TRUE(experimental.empty());
}

TEST_F(ServerTest, ReleaseEndsTheConnectionAndIsAlwaysAllowed)
{
    KXPServer unused;
    EXPECT_EQ(unused.release(), 0);

    KXPServer server;
    ASSERT_EQ(SDK.init(), 0);
    EXPECT_NE(server.loginLocal(), 0); // a failed login, then release as the plug-in does
    EXPECT_EQ(server.release(), 0);

    ASSERT_EQ(server.create(), 0) << lastError();
    ASSERT_EQ(server.loginLocal(), 0) << lastError();
    EXPECT_EQ(server.release(), 0);
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_THAT(lastError(), HasSubstr("not logged in"));
    EXPECT_EQ(server.create(), 0) << "a released server can connect again";
}

// A server dropped while logged in leaves nothing behind that stops the next one; the
// sanitizer build also checks that nothing leaks or dangles.
TEST_F(ServerTest, DestructionWithoutReleaseIsFine)
{
    auto* server = new KXPServer;
    connect(*server);
    delete server;

    KXPServer next;
    ASSERT_EQ(next.create(), 0) << lastError();
    ASSERT_EQ(next.loginLocal(), 0) << lastError();
    EXPECT_EQ(next.getOSMaps(supported, experimental), 0) << lastError();
    EXPECT_FALSE(supported.empty());
    EXPECT_EQ(next.release(), 0);
}

TEST_F(ServerTest, NothingIsServedOnceTheSdkIsDown)
{
    KXPServer server;
    connect(server);
    SDK.deinit();
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_THAT(lastError(), HasSubstr("SDK is not initialised"));
}

TEST_F(ServerTest, MapsPassedInFullAreReplaced)
{
    supported[123456].property1 = "stale";
    experimental[654321].property1 = "stale";
    KXPServer server;
    connect(server);
    ASSERT_EQ(server.getOSMaps(supported, experimental), 0) << lastError();
    EXPECT_EQ(supported.count(123456), 0u);
    EXPECT_EQ(experimental.count(654321), 0u);
}

TEST_F(ServerTest, CatalogueFileIsReadAtEveryCall)
{
    test_files::TempFolder scratch;
    const std::string path =
        scratch.write("os.json", R"({"supported": [{"code": 1, "property1": "one"}], "experimental": []})");
    setCatalogFile(path);
    KXPServer server;
    connect(server);
    ASSERT_EQ(server.getOSMaps(supported, experimental), 0) << lastError();
    ASSERT_EQ(supported.size(), 1u);
    EXPECT_EQ(std::string(supported.at(1).property1), "one");

    scratch.write("os.json", R"({"supported": [], "experimental": [{"code": 2, "property1": "two"}]})");
    ASSERT_EQ(server.getOSMaps(supported, experimental), 0) << lastError();
    EXPECT_TRUE(supported.empty());
    EXPECT_EQ(std::string(experimental.at(2).property1), "two");

    setCatalogFile("");
    ASSERT_EQ(server.getOSMaps(supported, experimental), 0) << lastError();
    KXPOSMap builtinSupported, builtinExperimental;
    ASSERT_EQ(builtinCatalog(builtinSupported, builtinExperimental), 0) << lastError();
    const auto codes = [](const KXPOSMap& map) {
        std::vector<unsigned int> all;
        for (const auto& entry : map)
            all.push_back(entry.first);
        return all;
    };
    EXPECT_EQ(codes(supported), codes(builtinSupported));
    EXPECT_EQ(codes(experimental), codes(builtinExperimental));
}

TEST_F(ServerTest, BadCatalogueFileFailsWithTheFileAndTheProblem)
{
    test_files::TempFolder scratch;
    const std::string path = scratch.write(
        "os.json", R"({"supported": [{"code": 1}, {"code": 1}], "experimental": []})");
    setCatalogFile(path);
    KXPServer server;
    connect(server);
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_EQ(lastError(), "guest OS catalogue '" + path +
                               "': supported[1]: code 1 is already listed at supported[0]");
    EXPECT_TRUE(supported.empty());

    setCatalogFile(scratch.file("gone.json"));
    EXPECT_LT(server.getOSMaps(supported, experimental), 0);
    EXPECT_THAT(lastError(), HasSubstr("gone.json': cannot open"));
}

} // namespace
