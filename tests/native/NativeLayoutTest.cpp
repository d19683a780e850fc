// The facade that gives the plug-in object the host's native three-slot layout,
// driven the way a natively compiled host drives it: through the table pointer at
// the object's address, slot by slot.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/NativeLayout.h"

namespace {

using orbiculon::NativePluginFacade;
using orbiculon::NativePluginTable;

std::vector<std::string> events;

// A plug-in that records what reaches it and answers as told.
class RecordingPlugin final : public CVRZPluginInterface {
public:
  ~RecordingPlugin() override { events.emplace_back("destroyed"); }
  bool execute() override { return answer("execute"); }
  bool initPlugin() override { return answer("initPlugin"); }

  static inline bool result = true;
  static inline bool throws = false;

private:
  static bool answer(const char* operation) {
    events.emplace_back(operation);
    if (throws) throw std::runtime_error("failure inside the plug-in");
    return result;
  }
};

CVRZPluginInterface* newRecordingPlugin() { return new RecordingPlugin(); }
CVRZPluginInterface* noPlugin() { return nullptr; }
CVRZPluginInterface* throwingFactory() { throw std::bad_alloc(); }

const NativePluginTable& tableOf(NativePluginFacade* object) {
  return **reinterpret_cast<const NativePluginTable* const*>(object);
}

class NativeLayoutTest : public ::testing::Test {
protected:
  void SetUp() override {
    events.clear();
    RecordingPlugin::result = true;
    RecordingPlugin::throws = false;
  }
};

TEST_F(NativeLayoutTest, ObjectStartsWithTheSharedTable) {
  NativePluginFacade* first = NativePluginFacade::create(&newRecordingPlugin);
  NativePluginFacade* second = NativePluginFacade::create(&newRecordingPlugin);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(&NativePluginFacade::table(), &tableOf(first));
  EXPECT_EQ(&NativePluginFacade::table(), &tableOf(second));
  // The word before the table, where a native table keeps type information.
  EXPECT_EQ(nullptr, reinterpret_cast<const void* const*>(&tableOf(first))[-1]);
  EXPECT_TRUE(events.empty());
  tableOf(first).destroy(first, 1);
  tableOf(second).destroy(second, 1);
}

TEST_F(NativeLayoutTest, CreateMakesNothingWhenThePluginCannotBeMade) {
  EXPECT_EQ(nullptr, NativePluginFacade::create(&noPlugin));
  EXPECT_EQ(nullptr, NativePluginFacade::create(&throwingFactory));
  EXPECT_TRUE(events.empty());
}

TEST_F(NativeLayoutTest, DeletingDestructorDestroysThePluginAndReturnsTheObject) {
  NativePluginFacade* object = NativePluginFacade::create(&newRecordingPlugin);
  ASSERT_NE(nullptr, object);
  void* const address = object;
  EXPECT_EQ(address, tableOf(object).destroy(object, 1));
  EXPECT_EQ(std::vector<std::string>{"destroyed"}, events);
}

TEST_F(NativeLayoutTest, DestructorWithoutFreeFlagLeavesTheMemoryToTheCaller) {
  NativePluginFacade* object = NativePluginFacade::create(&newRecordingPlugin);
  ASSERT_NE(nullptr, object);
  const NativePluginTable& table = tableOf(object);
  EXPECT_EQ(static_cast<void*>(object), table.destroy(object, 0));
  EXPECT_EQ(std::vector<std::string>{"destroyed"}, events);
  // Still allocated: the caller frees it, as after an explicit destructor call.
  ::operator delete(static_cast<void*>(object));
}

struct SlotCase {
  const char* name;
  bool (*NativePluginTable::*slot)(NativePluginFacade*);
  const char* operation;
  bool result;
  bool throws;
};

class NativeSlotTest : public ::testing::TestWithParam<SlotCase> {};

TEST_P(NativeSlotTest, SlotForwardsToItsOperation) {
  const SlotCase& param = GetParam();
  events.clear();
  RecordingPlugin::result = param.result;
  RecordingPlugin::throws = param.throws;
  NativePluginFacade* object = NativePluginFacade::create(&newRecordingPlugin);
  ASSERT_NE(nullptr, object);

  // A throwing operation counts as failed; nothing escapes to the host.
  EXPECT_EQ(param.result && !param.throws, (tableOf(object).*param.slot)(object));
  EXPECT_EQ(std::vector<std::string>{param.operation}, events);

  RecordingPlugin::throws = false;
  tableOf(object).destroy(object, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, NativeSlotTest,
    ::testing::Values(SlotCase{"ExecuteTrue", &NativePluginTable::execute, "execute", true, false},
                      SlotCase{"ExecuteFalse", &NativePluginTable::execute, "execute", false, false},
                      SlotCase{"ExecuteThrows", &NativePluginTable::execute, "execute", true, true},
                      SlotCase{"InitPluginTrue", &NativePluginTable::initPlugin, "initPlugin", true, false},
                      SlotCase{"InitPluginFalse", &NativePluginTable::initPlugin, "initPlugin", false, false},
                      SlotCase{"InitPluginThrows", &NativePluginTable::initPlugin, "initPlugin", true, true}),
    [](const ::testing::TestParamInfo<SlotCase>& slotCase) { return std::string(slotCase.param.name); });

} // namespace
