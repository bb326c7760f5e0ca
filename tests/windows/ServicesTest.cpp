// The client side of the service control manager against Wine's.
#include "Win32TestSupport.h"

namespace kavrin::test {
namespace {

class ServicesTest : public Win32Test {
protected:
    std::string name = "kavrin-wt-" + std::to_string(os.processes.currentProcessId());
};

TEST_F(ServicesTest, AMissingServiceReportsDoesNotExist) {
    auto manager = os.services.openManager(scm::kManagerConnect);
    ASSERT_TRUE(manager);
    EXPECT_FALSE(manager->openService(name + "-absent", scm::kServiceQueryConfigAndStatus));
    EXPECT_EQ(os.services.lastError(), win32err::kServiceDoesNotExist);
}

TEST_F(ServicesTest, CreateQueryDescribeAndDelete) {
    auto manager = os.services.openManager(scm::kManagerAllAccess);
    ASSERT_TRUE(manager);
    CreateServiceParams params;
    params.name = name;
    params.desiredAccess = scm::kServiceAllAccess;
    params.serviceType = 0x110;
    params.startType = scm::kStartDemand;
    params.errorControl = 1;
    params.binaryPath = "C:\\Apps\\Server\\server.exe";
    auto service = manager->createService(params);
    ASSERT_TRUE(service) << os.services.lastError();

    EXPECT_FALSE(manager->createService(params));
    EXPECT_EQ(os.services.lastError(), win32err::kServiceExists);

    uint32_t needed = 12345;
    auto config = service->queryConfig(needed);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->binaryPath, "C:\\Apps\\Server\\server.exe");
    EXPECT_EQ(config->startType, scm::kStartDemand);
    EXPECT_EQ(needed, 0u);

    auto status = service->queryStatus();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->currentState, scm::kStateStopped);
    EXPECT_TRUE(service->setDescription(u"A description \u00e9"));
    // Stopping a stopped service fails with "not active".
    EXPECT_FALSE(service->control(scm::kControlStop));
    EXPECT_EQ(os.services.lastError(), win32err::kServiceNotActive);

    EXPECT_TRUE(service->remove());
    service.reset();
    EXPECT_FALSE(manager->openService(name, scm::kServiceQueryConfigAndStatus));
}

TEST_F(ServicesTest, AConfigurationLargerThanTheBufferReportsTheSizeNeeded) {
    auto manager = os.services.openManager(scm::kManagerAllAccess);
    ASSERT_TRUE(manager);
    CreateServiceParams params;
    params.name = name + "-big";
    params.desiredAccess = scm::kServiceAllAccess;
    params.serviceType = 0x10;
    params.startType = scm::kStartDemand;
    params.errorControl = 1;
    params.binaryPath = "C:\\" + std::string(9000, 'p') + ".exe";
    auto service = manager->createService(params);
    ASSERT_TRUE(service) << os.services.lastError();
    uint32_t needed = 0;
    EXPECT_FALSE(service->queryConfig(needed));
    EXPECT_GT(needed, 8192u);
    EXPECT_EQ(os.services.lastError(), win32err::kInsufficientBuffer);
    EXPECT_TRUE(service->remove());
}

}  // namespace
}  // namespace kavrin::test
