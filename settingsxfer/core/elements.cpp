// The element table.
#include "settingsxfer/core/elements.h"

#include <cwchar>

#include "settingsxfer/res/resource.h"

namespace sx {

const ElementInfo kElements[kElementCount] = {
    {L"AutoConf", Group::GeneralSettings},
    {L"Layouts", Group::Layouts},
    {L"UserKernels", Group::GeneralSettings},
    {L"threshold_settings", Group::GeneralSettings},
    {L"ZStack", Group::NDAcquisition},
    {L"Kernels", Group::GeneralSettings},
    {L"CustomFilterData", Group::GeneralSettings},
    {L"Devices", Group::DeviceSettings},
    {L"OpticalConfigs", Group::OpticalConfigurations},
    {L"MultipointSet", Group::GeneralSettings},
    {L"NDSequence", Group::NDAcquisition},
    {L"ND_Complex", Group::NDAcquisition},
    {L"PixelClassifier", Group::GeneralSettings},
    {L"ControlsToolbar", Group::CustomToolbar},
    {L"Objectives", Group::Objectives},
    {L"SystemInfo_settings", Group::GeneralSettings},
    {L"UserManager", Group::UserManager},
    {L"Registry", Group::GeneralSettings},
    {L"GUILayouts", Group::Layouts},
};

const GroupInfo kGroups[kGroupCount] = {
    {Group::DeviceSettings, L"Device Settings", nullptr, IDC_DEVICE_SETTINGS},
    {Group::Layouts, L"Layouts", L"Layouts", IDC_LAYOUTS},
    {Group::OpticalConfigurations, L"Optical Configurations", nullptr, IDC_OPTICAL_CONFIGURATIONS},
    {Group::Objectives, L"Objectives", nullptr, IDC_OBJECTIVES},
    {Group::UserManager, L"User Manager", nullptr, IDC_USER_MANAGER},
    {Group::NDAcquisition, L"ND Acquisition", L"ND", IDC_ND_ACQUISITION},
    {Group::GeneralSettings, L"General Settings", L"General", IDC_GENERAL_SETTINGS},
    {Group::CustomToolbar, L"Custom Toolbar", nullptr, IDC_CUSTOM_TOOLBAR},
};

std::vector<CQxStringW> GroupMembers(Group group) {
    std::vector<CQxStringW> members;
    for (const ElementInfo &e : kElements)
        if (e.group == group) members.emplace_back(e.name);
    return members;
}

const GroupInfo *GroupByWord(const wchar_t *word) {
    for (const GroupInfo &g : kGroups)
        if (g.word && word && std::wcscmp(g.word, word) == 0) return &g;
    return nullptr;
}

const GroupInfo *GroupOfElement(const wchar_t *element) {
    for (const ElementInfo &e : kElements)
        if (element && std::wcscmp(e.name, element) == 0) return &InfoOf(e.group);
    return nullptr;
}

const GroupInfo &InfoOf(Group group) {
    for (const GroupInfo &g : kGroups)
        if (g.group == group) return g;
    return kGroups[0];
}

std::vector<CQxStringW> AllElements() {
    std::vector<CQxStringW> all;
    for (const ElementInfo &e : kElements)
        all.emplace_back(e.name);
    return all;
}

} // namespace sx
