// Handles and references: lookups with type and access checks, closing, the close action, and
// dereferences of things that hold no reference.
#include "SyncTestSupport.h"

#include "km/object.h"
#include "km/status.h"
#include "standin/object.h"

using namespace synctest;

namespace {

OBJECT_TYPE g_widgetType{"Widget"};

class Widget : public standin::KernelObject {
public:
    Widget(int* closes, bool* deleted) : KernelObject(&g_widgetType), closes_(closes), deleted_(deleted) {}
    void OnLastHandleClosed() override { ++*closes_; }

protected:
    ~Widget() override { *deleted_ = true; }

private:
    int* closes_;
    bool* deleted_;
};

} // namespace

TEST(Handle, CloseActionRunsOnceWhenTheLastHandleGoesAndClosedHandlesStayInvalid)
{
    PVOID object = reinterpret_cast<PVOID>(0x1);
    EXPECT_EQ(ObReferenceObjectByHandle(reinterpret_cast<HANDLE>(0x7FF0), 0, nullptr, KernelMode, &object, nullptr),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(ZwClose(nullptr), STATUS_INVALID_HANDLE);

    int closes = 0;
    bool deleted = false;
    auto* widget = new Widget(&closes, &deleted);
    standin::InsertObject(widget);
    HANDLE first, second;
    ASSERT_EQ(standin::CreateHandle(widget, 0, 0, &first), STATUS_SUCCESS);
    ASSERT_EQ(standin::CreateHandle(widget, 0, 0, &second), STATUS_SUCCESS);
    EXPECT_NE(first, second);
    EXPECT_EQ(standin::OpenHandleCount(), 2u);
    EXPECT_EQ(ZwClose(first), STATUS_SUCCESS);
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(ZwClose(second), STATUS_SUCCESS);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(deleted) << "the builder's reference still holds it";
    EXPECT_EQ(standin::DereferenceObject(widget), 0);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(ZwClose(second), STATUS_INVALID_HANDLE);
    EXPECT_EQ(ObReferenceObjectByHandle(first, 0, nullptr, KernelMode, &object, nullptr), STATUS_INVALID_HANDLE);
}

TEST(Handle, ReferenceChecksTypeAndUserModeAccess)
{
    int closes = 0;
    bool deleted = false;
    auto* widget = new Widget(&closes, &deleted);
    standin::InsertObject(widget);
    HANDLE kernelHandle, userHandle;
    ASSERT_EQ(standin::CreateHandle(widget, 0x1, OBJ_KERNEL_HANDLE, &kernelHandle), STATUS_SUCCESS);
    ASSERT_EQ(standin::CreateHandle(widget, 0x3, 0, &userHandle), STATUS_SUCCESS);
    standin::DereferenceObject(widget);

    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(kernelHandle, 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(ObReferenceObjectByHandle(kernelHandle, 0, nullptr, UserMode, &object, nullptr),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(ObReferenceObjectByHandle(userHandle, 0x4, nullptr, UserMode, &object, nullptr),
              STATUS_ACCESS_DENIED);

    OBJECT_HANDLE_INFORMATION information{};
    EXPECT_EQ(ObReferenceObjectByHandle(userHandle, 0x2, &g_widgetType, UserMode, &object, &information),
              STATUS_SUCCESS);
    EXPECT_EQ(object, widget->Body());
    EXPECT_EQ(information.GrantedAccess, 0x3u);
    EXPECT_EQ(ObDereferenceObject(object), 2); // the two handles' references remain

    // Kernel mode is not checked for access.
    EXPECT_EQ(ObReferenceObjectByHandle(kernelHandle, 0xFFFF, nullptr, KernelMode, &object, &information),
              STATUS_SUCCESS);
    EXPECT_EQ(information.HandleAttributes, static_cast<ULONG>(OBJ_KERNEL_HANDLE));
    EXPECT_EQ(ObDereferenceObject(object), 2);
    ZwClose(kernelHandle);
    ZwClose(userHandle);
    EXPECT_TRUE(deleted);
}

TEST(Handle, DereferencingWhatHoldsNoReferenceIsABreach)
{
    ExpectedBreaches breaches;
    int local = 0;
    EXPECT_EQ(ObfDereferenceObject(&local), 0);
    EXPECT_EQ(ObfDereferenceObject(nullptr), 0);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-object", "bad-object"}));

    // One reference too many: the handle's own reference is not the caller's to drop.
    int closes = 0;
    bool deleted = false;
    auto* widget = new Widget(&closes, &deleted);
    standin::InsertObject(widget);
    HANDLE handle;
    ASSERT_EQ(standin::CreateHandle(widget, 0, 0, &handle), STATUS_SUCCESS);
    EXPECT_EQ(ObDereferenceObject(widget->Body()), 1);
    EXPECT_EQ(ObDereferenceObject(widget->Body()), 0);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-object"});
    EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
    EXPECT_TRUE(deleted);

    EXPECT_EQ(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, nullptr, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-argument"});
}
