// The localized-string provider as a COM class, BRVPartsInf.clsResources: its
// members GetResourceString and GetResourceLanguage read the message catalogues installed beside
// the DLL (in messages\), in the user's interface language.
#include <memory>

#include "containers/windows/Classes.h"
#include "containers/windows/Dispatch.h"
#include "platform/strings/Resources.h"

namespace brv::win {
namespace {

enum : DISPID { kGetResourceString = 1, kGetResourceLanguage };
constexpr Member kMembers[] = {{L"GetResourceString", kGetResourceString},
                               {L"GetResourceLanguage", kGetResourceLanguage}};

// $BRVPARTS_MESSAGES when set, else the messages folder beside the DLL, as
// UTF-8 (the catalogue reader opens it by its wide name).
std::string WindowsCatalogueFolder() {
  if (const wchar_t* env = _wgetenv(L"BRVPARTS_MESSAGES"); env && *env) return Utf8(std::wstring_view(env));
  return Utf8(ModuleFolder() + L"\\messages");
}

// The user's interface language as catalogue names ("ja-JP" gives "ja_JP",
// then "ja"), English last.
std::vector<std::string> WindowsLanguages() {
  std::vector<std::string> out;
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID lcid = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) > 0) {
    std::string locale = Utf8(std::wstring_view(name));
    for (char& c : locale) {
      if (c == '-') c = '_';
    }
    out.push_back(locale);
    if (const size_t underscore = locale.find('_'); underscore != std::string::npos) {
      out.push_back(locale.substr(0, underscore));
    }
  }
  out.push_back("en");
  return out;
}

class ResourcesObject : public DispatchObject {
 public:
  ResourcesObject() : resources_(WindowsCatalogueFolder(), WindowsLanguages()) {}

 protected:
  std::span<const Member> Members() const override { return kMembers; }
  const wchar_t* Source() const override { return kResourcesProgIdW; }
  const IID& DispatchIid() const override { return kResourcesIid; }

  HRESULT Run(DISPID id, WORD flags, std::vector<Argument>& args, Variant& result) override {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) Raise(err::kInvalidCall, "the method takes a message number");
    switch (id) {
      case kGetResourceString: result = resources_.GetResourceString(ToInt32(args[0].Value())); return S_OK;
      case kGetResourceLanguage: result = resources_.GetResourceLanguage(ToInt32(args[0].Value())); return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  Resources resources_;
};

}  // namespace

IDispatch* NewResources(HRESULT& hr) {
  return NewObject<ResourcesObject>(hr, [](const std::exception& failure) -> HRESULT {
    const auto* e = dynamic_cast<const Error*>(&failure);
    if (!e) return E_UNEXPECTED;
    // No catalogue: creation fails, with the reason for whoever asks.
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
      const std::wstring text = Wide(e->description());
      create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
      create->SetSource(const_cast<LPOLESTR>(kResourcesProgIdW));
      ComPtr<IErrorInfo> info;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) SetErrorInfo(0, info.get());
    }
    return HresultOf(e->number());
  });
}

}  // namespace brv::win
