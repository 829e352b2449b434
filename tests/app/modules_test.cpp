#include <gtest/gtest.h>

#include "app/modules.h"

namespace {

using namespace Kesh::Moduling;

TEST(ModuleList, LoadsAndQueriesAModule) {
  ModuleList modules;
  const int index = modules.Load(TEST_MODULE_GOOD);
  ASSERT_EQ(index, 0);
  Module* module = modules.At(index);
  ASSERT_NE(module, nullptr);
  auto* marker = static_cast<int*>(module->Query(1));
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(*marker, 1234);
  EXPECT_EQ(module->Query(2), nullptr);
  EXPECT_EQ(modules.At(1), nullptr);
  EXPECT_EQ(modules.At(-1), nullptr);
  EXPECT_EQ(modules.Load(TEST_MODULE_GOOD), 1);  // the same library again: a second record
  EXPECT_EQ(modules.Count(), 2);
}

TEST(ModuleList, MissingAndInvalidModules) {
  ModuleList modules;
  EXPECT_EQ(modules.Load("/no/such/audio.so"), -1);
  EXPECT_EQ(modules.Count(), 0);
  EXPECT_FALSE(modules.LastError().empty());
  try {
    modules.Load(TEST_MODULE_BAD);
    FAIL() << "a library without InterfaceQuery must be refused";
  } catch (const InvalidModuleException& e) {
    EXPECT_EQ(e.ToString(), "Invalid module passed");
    EXPECT_EQ(e.Detail(),
              std::string("'") + TEST_MODULE_BAD + "' has no \"InterfaceQuery\" export");
  }
  EXPECT_EQ(modules.Count(), 0);
}

}  // namespace
