// The one QCoreApplication the sockets of the link tests need, for the whole run.
#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

int argc = 1;
char name[] = "link_tests";
char* argv[] = {name, nullptr};

class Application : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] const ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new Application);

} // namespace
