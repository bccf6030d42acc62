#include "editor/win32/wmitestviews.h"

#include "editor/addwmitest.h"
#include "editor/win32/resource.h"
#include "editor/wmibrowser.h"
#include "editor/wmitestconfig.h"
#include "editor/wmithreshold.h"

namespace tw::editor::win32 {

const std::vector<ControlBinding>& wmiTestConfigControls() {
    using M = WMITestConfig;
    static const std::vector<ControlBinding> kControls = {
        {M::kList, IDC_WMITEST_LIST}, {M::kAdd, IDC_WMITEST_ADD},
        {M::kEdit, IDC_WMITEST_EDIT}, {M::kDelete, IDC_WMITEST_DELETE},
        {M::kSave, IDC_WMITEST_SAVE}, {M::kQuit, IDC_WMITEST_QUIT},
    };
    return kControls;
}

const std::vector<ControlBinding>& addWmiTestControls() {
    using M = AddWMITest;
    static const std::vector<ControlBinding> kControls = {
        {M::kName, IDC_TEST_NAME},       {M::kType, IDC_DATA_TYPE},
        {M::kQueryField, IDC_WMI_QUERY}, {M::kThreshold, IDC_THRESHOLD},
        {M::kTrend, IDC_TREND},          {M::kPageFormat, IDC_PAGE_FORMAT},
        {M::kTestQuery, IDC_TEST_QUERY}, {M::kBrowser, IDC_BROWSER},
        {M::kShowClass, IDC_SHOW_CLASS}, {kOkButton, IDOK},
        {kCancelButton, IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& numThresholdControls() {
    using M = WMINumThreshold;
    static const std::vector<ControlBinding> kControls = {
        {M::kWarning, IDC_NUM_WARNING},
        {M::kPanic, IDC_NUM_PANIC},
        {M::kOr, IDC_NUM_OR},
        {M::kPanicMin, IDC_PANIC_MIN},
        {M::kWarningMin, IDC_WARNING_MIN},
        {M::kWarningMax, IDC_WARNING_MAX},
        {M::kPanicMax, IDC_PANIC_MAX},
        {kOkButton, IDOK},
        {kCancelButton, IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& strThresholdControls() {
    using M = WMIStrThreshold;
    static const std::vector<ControlBinding> kControls = {
        {M::kWarning, IDC_STR_WARNING},
        {M::kPanic, IDC_STR_PANIC},
        {kOkButton, IDOK},
        {kCancelButton, IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& wmiBrowserControls() {
    using M = WMIBrowser;
    static const std::vector<ControlBinding> kControls = {
        {M::kClasses, IDC_CLASS_LIST},
        {M::kProperties, IDC_PROPERTY_LIST},
        {kOkButton, IDOK},
        {kCancelButton, IDCANCEL},
    };
    return kControls;
}

namespace {

// Each dialog's static texts.
const std::vector<ControlBinding> kNoLabels;

const std::vector<ControlBinding>& addWmiTestLabels() {
    using M = AddWMITest;
    static const std::vector<ControlBinding> kLabels = {
        {labelOf(M::kName), IDC_TEST_NAME_LABEL},
        {labelOf(M::kType), IDC_DATA_TYPE_LABEL},
        {labelOf(M::kQueryField), IDC_WMI_QUERY_LABEL},
        {labelOf(M::kThreshold), IDC_THRESHOLD_LABEL},
        {labelOf(M::kPageFormat), IDC_PAGE_FORMAT_LABEL},
    };
    return kLabels;
}

const std::vector<ControlBinding>& numThresholdLabels() {
    using M = WMINumThreshold;
    static const std::vector<ControlBinding> kLabels = {
        {labelOf(M::kWarning), IDC_NUM_WARNING_LABEL},
        {labelOf(M::kPanic), IDC_NUM_PANIC_LABEL},
        {labelOf(M::kPanicMin), IDC_PANIC_MIN_LABEL},
        {labelOf(M::kWarningMin), IDC_WARNING_MIN_LABEL},
        {labelOf(M::kWarningMax), IDC_WARNING_MAX_LABEL},
        {labelOf(M::kPanicMax), IDC_PANIC_MAX_LABEL},
    };
    return kLabels;
}

const std::vector<ControlBinding>& strThresholdLabels() {
    using M = WMIStrThreshold;
    static const std::vector<ControlBinding> kLabels = {
        {labelOf(M::kWarning), IDC_STR_WARNING_LABEL},
        {labelOf(M::kPanic), IDC_STR_PANIC_LABEL},
        {M::kHint, IDC_STR_HINT},
    };
    return kLabels;
}

const std::vector<ControlBinding>& wmiBrowserLabels() {
    using M = WMIBrowser;
    static const std::vector<ControlBinding> kLabels = {
        {labelOf(M::kClasses), IDC_CLASS_LABEL},
        {labelOf(M::kProperties), IDC_PROPERTY_LABEL},
        {M::kQuery, IDC_BROWSER_QUERY},
    };
    return kLabels;
}

// The dialog resource of a kind of form and its bindings.
struct DialogOf {
    bool (*is)(Form&);
    int resource;
    const std::vector<ControlBinding>& (*controls)();
    const std::vector<ControlBinding>& (*labels)();
};

template <typename Model>
bool is(Form& f) {
    return dynamic_cast<Model*>(&f) != nullptr;
}

const std::vector<ControlBinding>& noLabels() {
    return kNoLabels;
}

}  // namespace

bool runDialogFor(Form& form, Win32Ui& ui) {
    static const DialogOf kDialogs[] = {
        {is<WMITestConfig>, IDD_WMITESTCONFIG, wmiTestConfigControls, noLabels},
        {is<AddWMITest>, IDD_ADDWMITEST, addWmiTestControls, addWmiTestLabels},
        {is<WMINumThreshold>, IDD_NUMTHRESHOLD, numThresholdControls, numThresholdLabels},
        {is<WMIStrThreshold>, IDD_STRTHRESHOLD, strThresholdControls, strThresholdLabels},
        {is<WMIBrowser>, IDD_WMIBROWSER, wmiBrowserControls, wmiBrowserLabels},
    };
    for (const auto& d : kDialogs) {
        if (!d.is(form)) continue;
        FormView(form, ui, d.resource, d.controls(), d.labels()).run();
        return true;
    }
    return false;
}

}  // namespace tw::editor::win32
