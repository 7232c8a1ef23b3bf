#include "containers/web/PageAssets.h"

namespace brv::web {

const std::string_view kPageHtml = R"html(<!DOCTYPE html><title>Parts Information</title>)html";
const std::string_view kPageScript = "";
const std::string_view kPageStyle = "";
const std::string_view kPageIcon = "";

}  // namespace brv::web
