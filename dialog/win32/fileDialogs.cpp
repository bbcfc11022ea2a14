#include "dialog/win32/fileDialogs.h"

namespace lakra {

namespace {

struct TypeInfo {
    const char* filter; // pairs of zero-terminated texts, ending in two zeros
    const char* extension;
};

TypeInfo typeInfo(FileType type) {
    switch (type) {
    case FileType::Psd:
        return {"Photoshop files (*.psd)\0*.psd\0", "psd"};
    case FileType::Html:
        return {"HTML files (*.html)\0*.html\0", "html"};
    case FileType::Presets:
    default:
        return {"Lakra presets (*.q8r)\0*.q8r\0", "q8r"};
    }
}

} // namespace

bool askFilePath(const FileDialogRequest& request, char* path, DWORD bytes) {
    const TypeInfo info = typeInfo(request.type);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = request.owner;
    dialog.hInstance = GetModuleHandleA(nullptr);
    dialog.lpstrFilter = info.filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = bytes;
    dialog.lpstrDefExt = info.extension;
    dialog.lpstrInitialDir = request.initialFolder != nullptr && request.initialFolder[0] != '\0'
                                 ? request.initialFolder
                                 : nullptr;
    dialog.lpstrTitle = request.title;
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    if (!request.save && request.panelTemplate != nullptr) {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&askFilePath), &self);
        dialog.hInstance = self;
        dialog.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        dialog.lpTemplateName = request.panelTemplate;
        dialog.lpfnHook = request.panelHook;
        dialog.lCustData = request.panelData;
    }
    return (request.save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog)) != FALSE;
}

} // namespace lakra
