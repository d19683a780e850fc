#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// All 150 host entry points, listed in binding order. The name table below, the
// stand-in's exports and its linker export list are all generated from this list.
// USED marks the 15 the plug-in calls, UNUSED the rest. One entry per line: the
// build parses this file for the names.
#define ORBICULON_HOST_ENTRIES(USED, UNUSED)                                                                 \
  USED(rzGetVersionOfCerevantRZ)                                                                             \
  UNUSED(rzGetCerevantRZPath)                                                                                \
  UNUSED(rzGetPluginsPath)                                                                                   \
  UNUSED(rzShowLogPane)                                                                                      \
  USED(rzShowLogTab)                                                                                         \
  USED(rzLogText)                                                                                            \
  USED(rzMessageBox)                                                                                         \
  USED(rzYesNoMessageBox)                                                                                    \
  UNUSED(rzGetIntegerInput)                                                                                  \
  UNUSED(rzGetFloatInput)                                                                                    \
  UNUSED(rzGetTextInput)                                                                                     \
  USED(rzGetOpenFileName)                                                                                    \
  USED(rzGetSaveFileName)                                                                                    \
  UNUSED(rzUpdateActiveWindow)                                                                               \
  UNUSED(rzShowBusyCursor)                                                                                   \
  UNUSED(rzStopBusyCursor)                                                                                   \
  UNUSED(rzGetNumberOfDocsInWorkspace)                                                                       \
  USED(rzGetDocumentType)                                                                                    \
  UNUSED(rzGetDocumentTypeName)                                                                              \
  USED(rzGetIDOfCurrentDocument)                                                                             \
  UNUSED(rzSetAsCurrentDocument)                                                                             \
  UNUSED(rzCalculateIAMatrix)                                                                                \
  UNUSED(rzGetTRFParametersFromVolumeToolsDlg)                                                               \
  UNUSED(rzGetHeaderOfCurrentFMR)                                                                            \
  UNUSED(rzSetHeaderOfCurrentFMR)                                                                            \
  UNUSED(rzGetSTCFloatDataOfCurrentFMR)                                                                      \
  UNUSED(rzGetSTCIntDataOfCurrentFMR)                                                                        \
  UNUSED(rzGetSTCDataOfCurrentFMR)                                                                           \
  UNUSED(rzSaveFMR)                                                                                          \
  UNUSED(rzSaveFMRAndSTC)                                                                                    \
  UNUSED(rzGetScannerPositionHeaderOfCurrentFMR)                                                             \
  UNUSED(rzSetScannerPositionHeaderOfCurrentFMR)                                                             \
  UNUSED(rzGetHeaderOfCurrentDMR)                                                                            \
  UNUSED(rzSetHeaderOfCurrentDMR)                                                                            \
  UNUSED(rzGetDWIFloatDataOfCurrentDMR)                                                                      \
  UNUSED(rzGetDWIIntDataOfCurrentDMR)                                                                        \
  UNUSED(rzGetDWIDataOfCurrentDMR)                                                                           \
  UNUSED(rzConvertDWIFormatOfCurrentDMR)                                                                     \
  UNUSED(rzSaveDMR)                                                                                          \
  UNUSED(rzSaveDMRAndDWI)                                                                                    \
  UNUSED(rzGetCurrentVMR)                                                                                    \
  USED(rzGetMainHeaderOfCurrentVMR)                                                                          \
  UNUSED(rzSetMainHeaderOfCurrentVMR)                                                                        \
  UNUSED(rzGetScannerPositionHeaderOfCurrentVMR)                                                             \
  UNUSED(rzSetScannerPositionHeaderOfCurrentVMR)                                                             \
  UNUSED(rzGetPastTransformationsHeaderOfCurrentVMR)                                                         \
  UNUSED(rzSetPastTransformationsHeaderOfCurrentVMR)                                                         \
  UNUSED(rzReframeCurrentVMR)                                                                                \
  UNUSED(rzGetCrossPositionOfCurrentVMR)                                                                     \
  UNUSED(rzGetNRVMPsOfCurrentVMR)                                                                            \
  UNUSED(rzGetNRVMPOfCurrentVMR)                                                                             \
  UNUSED(rzSetNRVMPParametersOfCurrentVMR)                                                                   \
  UNUSED(rzLoadNRVMPsToCurrentVMR)                                                                           \
  UNUSED(rzSaveNRVMPsOfCurrentVMR)                                                                           \
  UNUSED(rzCreateNRVMPsForCurrentVMR)                                                                        \
  UNUSED(rzDeleteNRVMPsOfCurrentVMR)                                                                         \
  UNUSED(rzSetNRVMPsParamsDisplayRange)                                                                      \
  UNUSED(rzGetARVMPsOfCurrentVMR)                                                                            \
  UNUSED(rzGetARVMPOfCurrentVMR)                                                                             \
  UNUSED(rzSetARVMPParametersOfCurrentVMR)                                                                   \
  UNUSED(rzLoadARVMPsToCurrentVMR)                                                                           \
  UNUSED(rzSaveARVMPsOfCurrentVMR)                                                                           \
  UNUSED(rzCreateARVMPsForCurrentVMR)                                                                        \
  UNUSED(rzDeleteARVMPsOfCurrentVMR)                                                                         \
  UNUSED(rzLinkVTCToCurrentVMR)                                                                              \
  UNUSED(rzCreateVTCForCurrentVMR)                                                                           \
  UNUSED(rzGetHeaderOfVTCOfCurrentVMR)                                                                       \
  UNUSED(rzSetHeaderOfVTCOfCurrentVMR)                                                                       \
  UNUSED(rzGetVTCOfCurrentVMR)                                                                               \
  UNUSED(rzGetVTCFloatDataOfCurrentVMR)                                                                      \
  UNUSED(rzGetVTCIntDataOfCurrentVMR)                                                                        \
  UNUSED(rzSetVTCParametersOfCurrentVMR)                                                                     \
  UNUSED(rzSaveVTCOfCurrentVMR)                                                                              \
  UNUSED(rzClearMultiVTCAnalysis)                                                                            \
  UNUSED(rzAddVTCRefForMultiVTCAnalysis)                                                                     \
  UNUSED(rzGetVoxelTimeCourseOfVTC)                                                                          \
  UNUSED(rzGetVoxelTimeCourseOfVTCs)                                                                         \
  UNUSED(rzGetVoxelCoordsTimeCourseOfVTC)                                                                    \
  UNUSED(rzGetVoxelCoordsTimeCourseOfVTCs)                                                                   \
  UNUSED(rzGetGLMOfCurrentVMR)                                                                               \
  UNUSED(rzLoadMaskToCurrentVMR)                                                                             \
  UNUSED(rzGetMaskOfCurrentVMR)                                                                              \
  UNUSED(rzGetScene)                                                                                         \
  UNUSED(rzGetCurrentSRF)                                                                                    \
  UNUSED(rzReleaseSRFAccess)                                                                                 \
  UNUSED(rzSaveCurrentSRF)                                                                                   \
  UNUSED(rzSetCurrentSRF)                                                                                    \
  UNUSED(rzLinkMTCToCurrentSRF)                                                                              \
  UNUSED(rzGetMTCOfCurrentSRF)                                                                               \
  UNUSED(rzSetMTCParametersOfCurrentSRF)                                                                     \
  UNUSED(rzCreateMTCForCurrentSRF)                                                                           \
  UNUSED(rzSaveMTCOfCurrentSRF)                                                                              \
  UNUSED(rzClearMultiMTCRefsOfCurrentSRF)                                                                    \
  UNUSED(rzAddMultiMTCRefToCurrentSRF)                                                                       \
  UNUSED(rzGetVertexTimeCourseOfMTC)                                                                         \
  UNUSED(rzGetVertexTimeCourseOfAllMTCs)                                                                     \
  UNUSED(rzGetSMPsOfCurrentSRF)                                                                              \
  UNUSED(rzGetSMPOfCurrentSRF)                                                                               \
  UNUSED(rzSetSMPParametersOfCurrentSRF)                                                                     \
  UNUSED(rzLoadSMPsToCurrentSRF)                                                                             \
  UNUSED(rzSaveSMPsOfCurrentSRF)                                                                             \
  UNUSED(rzCreateSMPForCurrentSRF)                                                                           \
  UNUSED(rzDeleteSMPsOfCurrentSRF)                                                                           \
  UNUSED(rzOverlaySMPsOnSRF)                                                                                 \
  UNUSED(rzGetSSMOfCurrentSRF)                                                                               \
  UNUSED(rzLoadSSMToCurrentSRF)                                                                              \
  UNUSED(rzSaveSSMOfCurrentSRF)                                                                              \
  UNUSED(rzCreateSSMForCurrentSRF)                                                                           \
  UNUSED(rzDeleteSSMOfCurrentSRF)                                                                            \
  UNUSED(rzClearProtocol)                                                                                    \
  UNUSED(rzLoadProtocol)                                                                                     \
  UNUSED(rzSaveProtocol)                                                                                     \
  UNUSED(rzGetProtocol)                                                                                      \
  UNUSED(rzSetProtocol)                                                                                      \
  UNUSED(rzGetProtocolCondition)                                                                             \
  UNUSED(rzAddProtocolCondition)                                                                             \
  UNUSED(rzAddProtocolConditionInterval)                                                                     \
  UNUSED(rzClearDesignMatrix)                                                                                \
  UNUSED(rzAddPredictor)                                                                                     \
  UNUSED(rzSetPredictorValuesFromCondition)                                                                  \
  UNUSED(rzSetPredictorValuesFromConditionName)                                                              \
  UNUSED(rzApplyTwoGammaHRFToPredictor)                                                                      \
  UNUSED(rzApplyTwoGammaHRFToPredictorWithName)                                                              \
  UNUSED(rzApplyBoyntonHRFToPredictor)                                                                       \
  UNUSED(rzApplyBoyntonHRFToPredictorWithName)                                                               \
  UNUSED(rzGetPredictor)                                                                                     \
  UNUSED(rzGetPredictorByName)                                                                               \
  UNUSED(rzLoadSingleStudyGLMDesignMatrix)                                                                   \
  UNUSED(rzSaveSingleStudyGLMDesignMatrix)                                                                   \
  USED(rzLoadVOIs)                                                                                           \
  UNUSED(rzSaveVOIs)                                                                                         \
  UNUSED(rzGetVOIs)                                                                                          \
  UNUSED(rzGetVOI)                                                                                           \
  UNUSED(rzLoadPOIs)                                                                                         \
  UNUSED(rzSavePOIs)                                                                                         \
  UNUSED(rzGetPOIs)                                                                                          \
  UNUSED(rzGetPOI)                                                                                           \
  USED(rzGetStringParameter)                                                                                 \
  USED(rzGetIntParameter)                                                                                    \
  USED(rzGetFloatParameter)                                                                                  \
  USED(rzSetStringParameter)                                                                                 \
  UNUSED(rzSetIntParameter)                                                                                  \
  UNUSED(rzSetFloatParameter)                                                                                \
  UNUSED(rzGetDlgStringParameter)                                                                            \
  UNUSED(rzGetDlgIntegerParameter)                                                                           \
  UNUSED(rzGetDlgFloatParameter)                                                                             \
  UNUSED(rzSetDlgStringOutputParameter)                                                                      \
  UNUSED(rzSetDlgIntegerOutputParameter)                                                                     \
  UNUSED(rzSetDlgFloatOutputParameter)                                                                       \
  UNUSED(rzLaunchICADialog)

namespace orbiculon {

#define ORBICULON_HOST_ENTRY_ONE(name) +1
inline constexpr std::size_t kHostEntryCount =
    0 ORBICULON_HOST_ENTRIES(ORBICULON_HOST_ENTRY_ONE, ORBICULON_HOST_ENTRY_ONE);
#undef ORBICULON_HOST_ENTRY_ONE
static_assert(kHostEntryCount == 150, "the host exports 150 entry points");

#define ORBICULON_HOST_ENTRY_NAME(name) #name,
// The host's export names, in binding order.
inline constexpr std::array<std::string_view, kHostEntryCount> kHostEntryNames = {
    ORBICULON_HOST_ENTRIES(ORBICULON_HOST_ENTRY_NAME, ORBICULON_HOST_ENTRY_NAME)};
#undef ORBICULON_HOST_ENTRY_NAME

// Index of a name in kHostEntryNames, or kHostEntryCount when it is not there.
constexpr std::size_t hostEntryIndex(std::string_view name) {
  for (std::size_t i = 0; i < kHostEntryNames.size(); ++i)
    if (kHostEntryNames[i] == name) return i;
  return kHostEntryCount;
}

} // namespace orbiculon
