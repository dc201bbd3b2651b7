// The bridge object as page script sees it, driven by a real script engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "script_host.h"
#include "web/script_bridge.h"

namespace {

constexpr const wchar_t* kEntry = L"http://127.0.0.1/entry";

class RecordingReceiver : public ScriptCallReceiver {
 public:
  std::wstring DispatchScriptCall(const std::wstring& method, const std::wstring& params) override {
    calls.emplace_back(method, params);
    return L"answer to " + method;
  }
  std::vector<std::pair<std::wstring, std::wstring>> calls;
};

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    SetScriptCallReceiver(&receiver_);
  }
  void TearDown() override {
    SetScriptCallReceiver(nullptr);
    CoUninitialize();
  }
  RecordingReceiver receiver_;
  CImpIDispatch bridge_;
};

std::wstring Text(const VARIANT& v) {
  return V_VT(&v) == VT_BSTR ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"<not text>";
}

}  // namespace

TEST_F(Bridge, ScriptCallsReachTheReceiverAndGetItsAnswer) {
  ScriptHost page(&bridge_);
  page.ServeAsTopPage(kEntry);
  VARIANT result;
  VariantInit(&result);
  ASSERT_TRUE(page.Evaluate(L"window.external.JavascriptToCsharp('LoginResult', 'true|a=1&b=2')",
                            &result))
      << std::string(page.error().begin(), page.error().end());
  EXPECT_EQ(Text(result), L"answer to LoginResult");
  VariantClear(&result);
  ASSERT_EQ(receiver_.calls.size(), 1u);
  EXPECT_EQ(receiver_.calls[0].first, L"LoginResult");
  EXPECT_EQ(receiver_.calls[0].second, L"true|a=1&b=2");
}

TEST_F(Bridge, TheLastTwoArgumentsCountAndOneArgumentDoesNothing) {
  ScriptHost page(&bridge_);
  page.ServeAsTopPage(kEntry);
  ASSERT_TRUE(page.Run(L"window.external.JavascriptToCsharp('a', 'b', 'c');"));
  ASSERT_EQ(receiver_.calls.size(), 1u);
  EXPECT_EQ(receiver_.calls[0], std::make_pair(std::wstring(L"b"), std::wstring(L"c")));

  VARIANT result;
  VariantInit(&result);
  ASSERT_TRUE(page.Evaluate(L"typeof window.external.JavascriptToCsharp('GetCommandLine')", &result));
  EXPECT_EQ(Text(result), L"undefined");
  VariantClear(&result);
  EXPECT_EQ(receiver_.calls.size(), 1u);
}

TEST_F(Bridge, TheMemberNameIsCaseSensitive) {
  ScriptHost page(&bridge_);
  page.ServeAsTopPage(kEntry);
  EXPECT_FALSE(page.Run(L"window.external.javascripttocsharp('LoginResult', 'true|x');"));
  EXPECT_FALSE(page.error().empty());
  EXPECT_TRUE(receiver_.calls.empty());
}

TEST_F(Bridge, NonStringArgumentsAreReadAsText) {
  ScriptHost page(&bridge_);
  page.ServeAsTopPage(kEntry);
  ASSERT_TRUE(page.Run(L"window.external.JavascriptToCsharp('Op', 42);"));
  ASSERT_EQ(receiver_.calls.size(), 1u);
  EXPECT_EQ(receiver_.calls[0].second, L"42");
}

TEST_F(Bridge, ComRulesOfTheObject) {
  IUnknown* unknown = nullptr;
  ASSERT_EQ(bridge_.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(&bridge_));
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(bridge_.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(bridge_.RefCount(), 2);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(bridge_.QueryInterface(IID_IPersist, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  // Releasing below zero never deletes the object (it lives on this stack).
  EXPECT_EQ(bridge_.Release(), 1u);
  EXPECT_EQ(bridge_.Release(), 0u);
  EXPECT_EQ(static_cast<LONG>(bridge_.Release()), -1);

  LPOLESTR names[2] = {const_cast<LPOLESTR>(L"JavascriptToCsharp"), const_cast<LPOLESTR>(L"arg")};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(bridge_.GetIDsOfNames(IID_NULL, names, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1);
  names[0] = const_cast<LPOLESTR>(L"JAVASCRIPTTOCSHARP");
  EXPECT_EQ(bridge_.GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  UINT count = 7;
  EXPECT_EQ(bridge_.GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 7u);

  // Another dispatch identifier succeeds without effect and leaves the
  // result alone.
  VARIANT args[2];
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = SysAllocString(L"p");
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"m");
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  V_VT(&result) = VT_I4;
  V_I4(&result) = 5;
  EXPECT_EQ(bridge_.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  // Plain Invoke names no calling document: no page is served through it.
  EXPECT_EQ(bridge_.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), E_ACCESSDENIED);
  EXPECT_TRUE(receiver_.calls.empty());
  VariantClear(&args[0]);
  VariantClear(&args[1]);
}
