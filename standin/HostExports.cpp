// The host's 150 C entry points, exported from the stand-in host executable under
// their exact names. The 15 services the plug-in uses behave as the host's do; every
// other entry reports that it was called, since the plug-in is not expected to.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "standin/HostState.h"
#include "standin/Terminal.h"

#if defined(_WIN32)
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using standin::state;

namespace {

void copyInto(const std::string& value, char* buffer, std::size_t capacity) {
  const std::size_t length = value.size() < capacity ? value.size() : capacity - 1;
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}

void unexpected(const char* name) { std::cerr << "[host] unexpected call of " << name << std::endl; }

constexpr std::size_t kPathCapacity = 512;

std::ostream& hostLog() { return state().log != nullptr ? *state().log : std::cout; }

} // namespace

#if !defined(STANDIN_WITHOUT_VERSION_ENTRY)
HOST_EXPORT void rzGetVersionOfCerevantRZ(int* major, int* minor, int* build) {
  *major = state().major;
  *minor = state().minor;
  *build = state().build;
}
#endif

HOST_EXPORT void rzShowLogTab() {}

HOST_EXPORT void rzLogText(const char* text) {
  state().loggedLines.emplace_back(text);
  hostLog() << text << std::endl;
}

HOST_EXPORT void rzMessageBox(const char* text) { std::cerr << "[message] " << text << std::endl; }

HOST_EXPORT int rzYesNoMessageBox(const char* question) {
  bool yes = state().answer == standin::Answer::Yes;
  if (state().answer == standin::Answer::Ask) yes = standin::askYesNo(question);
  std::cerr << "[question] " << question << " -> " << (yes ? "yes" : "no") << std::endl;
  return yes ? 1 : 0;
}

HOST_EXPORT void rzGetOpenFileName(const char* title, const char*, const char* filter, char* path) {
  copyInto(state().openPath.value_or(""), path, kPathCapacity);
  std::cerr << "[file dialog] " << title << " (" << filter << ") -> "
            << (state().openPath ? path : "cancelled") << std::endl;
}

HOST_EXPORT void rzGetSaveFileName(const char* title, const char*, const char* filter, char* path) {
  copyInto(state().savePath.value_or(""), path, kPathCapacity);
  std::cerr << "[file dialog] " << title << " (" << filter << ") -> "
            << (state().savePath ? path : "cancelled") << std::endl;
}

HOST_EXPORT int rzGetIDOfCurrentDocument() { return state().documentId; }

HOST_EXPORT int rzGetDocumentType(int) { return state().documentType; }

HOST_EXPORT void rzGetMainHeaderOfCurrentVMR(void* header) {
  std::memcpy(header, &state().header, sizeof(standin::VmrHeaderRecord));
}

HOST_EXPORT void rzLoadVOIs(const char* path) {
  if (state().loadVois) {
    hostLog() << state().loadVois(path) << std::endl;
  } else {
    std::cerr << "[host] load VOIs: " << path << std::endl;
  }
}

HOST_EXPORT void rzGetStringParameter(const char* name, char* buffer) {
  const auto found = state().strings.find(name);
  copyInto(found == state().strings.end() ? std::string() : found->second, buffer,
           standin::stringParameterCapacity(name));
}

HOST_EXPORT int rzGetIntParameter(const char* name) {
  const auto found = state().ints.find(name);
  return found == state().ints.end() ? 0 : found->second;
}

HOST_EXPORT float rzGetFloatParameter(const char* name) {
  const auto found = state().floats.find(name);
  return found == state().floats.end() ? 0.0f : found->second;
}

HOST_EXPORT void rzSetStringParameter(const char* name, const char* value) { state().strings[name] = value; }

// Entry points the plug-in never calls.
#define UNEXPECTED_ENTRY(name)                                                                               \
  HOST_EXPORT int name() {                                                                                   \
    unexpected(#name);                                                                                       \
    return 0;                                                                                                \
  }
UNEXPECTED_ENTRY(rzGetCerevantRZPath)
UNEXPECTED_ENTRY(rzGetPluginsPath)
UNEXPECTED_ENTRY(rzShowLogPane)
UNEXPECTED_ENTRY(rzGetIntegerInput)
UNEXPECTED_ENTRY(rzGetFloatInput)
UNEXPECTED_ENTRY(rzGetTextInput)
UNEXPECTED_ENTRY(rzUpdateActiveWindow)
UNEXPECTED_ENTRY(rzShowBusyCursor)
UNEXPECTED_ENTRY(rzStopBusyCursor)
UNEXPECTED_ENTRY(rzGetNumberOfDocsInWorkspace)
UNEXPECTED_ENTRY(rzGetDocumentTypeName)
UNEXPECTED_ENTRY(rzSetAsCurrentDocument)
UNEXPECTED_ENTRY(rzCalculateIAMatrix)
UNEXPECTED_ENTRY(rzGetTRFParametersFromVolumeToolsDlg)
UNEXPECTED_ENTRY(rzGetHeaderOfCurrentFMR)
UNEXPECTED_ENTRY(rzSetHeaderOfCurrentFMR)
UNEXPECTED_ENTRY(rzGetSTCFloatDataOfCurrentFMR)
UNEXPECTED_ENTRY(rzGetSTCIntDataOfCurrentFMR)
UNEXPECTED_ENTRY(rzGetSTCDataOfCurrentFMR)
UNEXPECTED_ENTRY(rzSaveFMR)
UNEXPECTED_ENTRY(rzSaveFMRAndSTC)
UNEXPECTED_ENTRY(rzGetScannerPositionHeaderOfCurrentFMR)
UNEXPECTED_ENTRY(rzSetScannerPositionHeaderOfCurrentFMR)
UNEXPECTED_ENTRY(rzGetHeaderOfCurrentDMR)
UNEXPECTED_ENTRY(rzSetHeaderOfCurrentDMR)
UNEXPECTED_ENTRY(rzGetDWIFloatDataOfCurrentDMR)
UNEXPECTED_ENTRY(rzGetDWIIntDataOfCurrentDMR)
UNEXPECTED_ENTRY(rzGetDWIDataOfCurrentDMR)
UNEXPECTED_ENTRY(rzConvertDWIFormatOfCurrentDMR)
UNEXPECTED_ENTRY(rzSaveDMR)
UNEXPECTED_ENTRY(rzSaveDMRAndDWI)
UNEXPECTED_ENTRY(rzGetCurrentVMR)
UNEXPECTED_ENTRY(rzSetMainHeaderOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetScannerPositionHeaderOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetScannerPositionHeaderOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetPastTransformationsHeaderOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetPastTransformationsHeaderOfCurrentVMR)
UNEXPECTED_ENTRY(rzReframeCurrentVMR)
UNEXPECTED_ENTRY(rzGetCrossPositionOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetNRVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetNRVMPOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetNRVMPParametersOfCurrentVMR)
UNEXPECTED_ENTRY(rzLoadNRVMPsToCurrentVMR)
UNEXPECTED_ENTRY(rzSaveNRVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzCreateNRVMPsForCurrentVMR)
UNEXPECTED_ENTRY(rzDeleteNRVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetNRVMPsParamsDisplayRange)
UNEXPECTED_ENTRY(rzGetARVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetARVMPOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetARVMPParametersOfCurrentVMR)
UNEXPECTED_ENTRY(rzLoadARVMPsToCurrentVMR)
UNEXPECTED_ENTRY(rzSaveARVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzCreateARVMPsForCurrentVMR)
UNEXPECTED_ENTRY(rzDeleteARVMPsOfCurrentVMR)
UNEXPECTED_ENTRY(rzLinkVTCToCurrentVMR)
UNEXPECTED_ENTRY(rzCreateVTCForCurrentVMR)
UNEXPECTED_ENTRY(rzGetHeaderOfVTCOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetHeaderOfVTCOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetVTCOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetVTCFloatDataOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetVTCIntDataOfCurrentVMR)
UNEXPECTED_ENTRY(rzSetVTCParametersOfCurrentVMR)
UNEXPECTED_ENTRY(rzSaveVTCOfCurrentVMR)
UNEXPECTED_ENTRY(rzClearMultiVTCAnalysis)
UNEXPECTED_ENTRY(rzAddVTCRefForMultiVTCAnalysis)
UNEXPECTED_ENTRY(rzGetVoxelTimeCourseOfVTC)
UNEXPECTED_ENTRY(rzGetVoxelTimeCourseOfVTCs)
UNEXPECTED_ENTRY(rzGetVoxelCoordsTimeCourseOfVTC)
UNEXPECTED_ENTRY(rzGetVoxelCoordsTimeCourseOfVTCs)
UNEXPECTED_ENTRY(rzGetGLMOfCurrentVMR)
UNEXPECTED_ENTRY(rzLoadMaskToCurrentVMR)
UNEXPECTED_ENTRY(rzGetMaskOfCurrentVMR)
UNEXPECTED_ENTRY(rzGetScene)
UNEXPECTED_ENTRY(rzGetCurrentSRF)
UNEXPECTED_ENTRY(rzReleaseSRFAccess)
UNEXPECTED_ENTRY(rzSaveCurrentSRF)
UNEXPECTED_ENTRY(rzSetCurrentSRF)
UNEXPECTED_ENTRY(rzLinkMTCToCurrentSRF)
UNEXPECTED_ENTRY(rzGetMTCOfCurrentSRF)
UNEXPECTED_ENTRY(rzSetMTCParametersOfCurrentSRF)
UNEXPECTED_ENTRY(rzCreateMTCForCurrentSRF)
UNEXPECTED_ENTRY(rzSaveMTCOfCurrentSRF)
UNEXPECTED_ENTRY(rzClearMultiMTCRefsOfCurrentSRF)
UNEXPECTED_ENTRY(rzAddMultiMTCRefToCurrentSRF)
UNEXPECTED_ENTRY(rzGetVertexTimeCourseOfMTC)
UNEXPECTED_ENTRY(rzGetVertexTimeCourseOfAllMTCs)
UNEXPECTED_ENTRY(rzGetSMPsOfCurrentSRF)
UNEXPECTED_ENTRY(rzGetSMPOfCurrentSRF)
UNEXPECTED_ENTRY(rzSetSMPParametersOfCurrentSRF)
UNEXPECTED_ENTRY(rzLoadSMPsToCurrentSRF)
UNEXPECTED_ENTRY(rzSaveSMPsOfCurrentSRF)
UNEXPECTED_ENTRY(rzCreateSMPForCurrentSRF)
UNEXPECTED_ENTRY(rzDeleteSMPsOfCurrentSRF)
UNEXPECTED_ENTRY(rzOverlaySMPsOnSRF)
UNEXPECTED_ENTRY(rzGetSSMOfCurrentSRF)
UNEXPECTED_ENTRY(rzLoadSSMToCurrentSRF)
UNEXPECTED_ENTRY(rzSaveSSMOfCurrentSRF)
UNEXPECTED_ENTRY(rzCreateSSMForCurrentSRF)
UNEXPECTED_ENTRY(rzDeleteSSMOfCurrentSRF)
UNEXPECTED_ENTRY(rzClearProtocol)
UNEXPECTED_ENTRY(rzLoadProtocol)
UNEXPECTED_ENTRY(rzSaveProtocol)
UNEXPECTED_ENTRY(rzGetProtocol)
UNEXPECTED_ENTRY(rzSetProtocol)
UNEXPECTED_ENTRY(rzGetProtocolCondition)
UNEXPECTED_ENTRY(rzAddProtocolCondition)
UNEXPECTED_ENTRY(rzAddProtocolConditionInterval)
UNEXPECTED_ENTRY(rzClearDesignMatrix)
UNEXPECTED_ENTRY(rzAddPredictor)
UNEXPECTED_ENTRY(rzSetPredictorValuesFromCondition)
UNEXPECTED_ENTRY(rzSetPredictorValuesFromConditionName)
UNEXPECTED_ENTRY(rzApplyTwoGammaHRFToPredictor)
UNEXPECTED_ENTRY(rzApplyTwoGammaHRFToPredictorWithName)
UNEXPECTED_ENTRY(rzApplyBoyntonHRFToPredictor)
UNEXPECTED_ENTRY(rzApplyBoyntonHRFToPredictorWithName)
UNEXPECTED_ENTRY(rzGetPredictor)
UNEXPECTED_ENTRY(rzGetPredictorByName)
UNEXPECTED_ENTRY(rzLoadSingleStudyGLMDesignMatrix)
UNEXPECTED_ENTRY(rzSaveSingleStudyGLMDesignMatrix)
UNEXPECTED_ENTRY(rzSaveVOIs)
UNEXPECTED_ENTRY(rzGetVOIs)
UNEXPECTED_ENTRY(rzGetVOI)
UNEXPECTED_ENTRY(rzLoadPOIs)
UNEXPECTED_ENTRY(rzSavePOIs)
UNEXPECTED_ENTRY(rzGetPOIs)
UNEXPECTED_ENTRY(rzGetPOI)
UNEXPECTED_ENTRY(rzSetIntParameter)
UNEXPECTED_ENTRY(rzSetFloatParameter)
UNEXPECTED_ENTRY(rzGetDlgStringParameter)
UNEXPECTED_ENTRY(rzGetDlgIntegerParameter)
UNEXPECTED_ENTRY(rzGetDlgFloatParameter)
UNEXPECTED_ENTRY(rzSetDlgStringOutputParameter)
UNEXPECTED_ENTRY(rzSetDlgIntegerOutputParameter)
UNEXPECTED_ENTRY(rzSetDlgFloatOutputParameter)
UNEXPECTED_ENTRY(rzLaunchICADialog)
