// Video hook modules loaded through the "vhook" option.
#include <dlfcn.h>

#include "OptionTestSupport.h"

using kvtest::OptionTest;

namespace {

class VideoHookTest : public OptionTest {
protected:
    int Counter(const char* Name)
    {
        void* module = ::dlopen(KELVANE_TEST_HOOK, RTLD_NOW | RTLD_NOLOAD);
        if (!module)
            return -1;
        const int value = *static_cast<int*>(::dlsym(module, Name));
        ::dlclose(module);
        return value;
    }
    std::string LastArgument()
    {
        void* module = ::dlopen(KELVANE_TEST_HOOK, RTLD_NOW | RTLD_NOLOAD);
        std::string text = static_cast<const char*>(::dlsym(module, "kelvane_test_hook_last_argument"));
        ::dlclose(module);
        return text;
    }
};

TEST_F(VideoHookTest, AModuleIsLoadedConfiguredAndReleasedOnce)
{
    task.SetOption("vhook", std::string(KELVANE_TEST_HOOK) + " first second");
    EXPECT_TRUE(task.Options().UsingVHook);
    ASSERT_EQ(task.HookState().Chain.size(), 1u);
    const int configured = Counter("kelvane_test_hook_configured");
    EXPECT_EQ(Counter("kelvane_test_hook_argc"), 3);
    EXPECT_EQ(LastArgument(), "second");

    // "|" separates when present, so arguments may hold blanks.
    task.SetOption("vhook", std::string(KELVANE_TEST_HOOK) + "|with blank||");
    EXPECT_EQ(Counter("kelvane_test_hook_configured"), configured + 1);
    EXPECT_EQ(Counter("kelvane_test_hook_argc"), 2);
    EXPECT_EQ(LastArgument(), "with blank");

    const int released = Counter("kelvane_test_hook_released");
    task.FreeTaskResources();
    EXPECT_EQ(Counter("kelvane_test_hook_released"), released + 2);
    EXPECT_TRUE(task.HookState().Chain.empty());
    task.FreeTaskResources();
    EXPECT_EQ(Counter("kelvane_test_hook_released"), released + 2) << "released once";
}

TEST_F(VideoHookTest, RefusedHooksLeaveTheChainAsItWas)
{
    const std::string hook = KELVANE_TEST_HOOK;
    std::string tooMany = hook;
    for (int i = 0; i < 63; ++i)
        tooMany += " a";
    const std::string refused[] = {
        std::string(KELVANE_TEST_HOOK_WITHOUT_PROCESS),
        "/nowhere/hook.so",
        hook + " refuse",
        tooMany,  // 64 words
        "",
    };
    for (const std::string& value : refused)
        EXPECT_EQ(Refusal("vhook", value), "Failed to add video hook function: " + value) << value.substr(0, 60);
    EXPECT_TRUE(task.HookState().Chain.empty());
    EXPECT_FALSE(task.Options().UsingVHook);
    tooMany.resize(tooMany.size() - 2);  // 63 words
    EXPECT_EQ(Refusal("vhook", tooMany), "");
}

}  // namespace
