#!/bin/sh
# Takes a screenshot of each window the GUI tests open, on an Xvfb of its
# own:  tests/screenshots.sh BUILD_DIR [OUT_DIR] [DISPLAY_NUMBER]
# The tests announce NAME.ready in OUT_DIR once a window is painted and
# wait until NAME.png is there.
set -eu
build=${1:?usage: screenshots.sh BUILD_DIR [OUT_DIR] [DISPLAY_NUMBER]}
out=${2:-$build/screenshots}
num=${3:-97}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/*.ready "$out"/*.png
pidfile=$out/xvfb.pid
sh "$here/xvfb.sh" start "$num" "$pidfile"
trap 'sh "$here/xvfb.sh" stop "$num" "$pidfile"' EXIT

shoot() {
    # Runs one test and photographs every window it announces; the second
    # argument names the test program (test_widgets by default).
    DISPLAY=:$num QIR_SHOT_DIR=$out "$build/tests/${2:-test_widgets}" --gtest_filter="$1" >"$out/run.log" 2>&1 &
    test_pid=$!
    while kill -0 "$test_pid" 2>/dev/null; do
        for ready in "$out"/*.ready; do
            [ -e "$ready" ] || continue
            name=${ready%.ready}
            rm -f "$ready"
            import -display ":$num" -window root "$name.tmp.png"
            mv "$name.tmp.png" "$name.png"
            echo "$name.png"
        done
        sleep 0.1
    done
    wait "$test_pid" || { cat "$out/run.log" >&2; return 1; }
}

shoot 'ListBoxTest.MultiSelectClicksAndDrags'
shoot 'ListBoxTest.PlaceholderWhileEmpty'
shoot 'DialogTest.ButtonAcceptsAndOtherWindowsGetNoPointerInput'
shoot 'qirRTFEditor.ShowsStyledText'
shoot 'qirRTFPanel.ShowsEditModeWithToolBarAndMenus'
shoot 'StandardDialogTest.QuestionAnswersByButtonAndCloseCancels'
shoot 'StandardDialogTest.MessageBoxClosesOnReturnLineFeedAndButton'
shoot 'StandardDialogTest.ChoiceMakesTenButtonsAndAnswersTheIndex'
shoot 'StandardDialogTest.PasswordHoldsLongPasswords'
shoot 'StandardDialogTest.SearchCancelRestoresTheAcceptedSearch'
shoot 'ProgressTest.ShowsPercentageAndBar'
shoot 'ProgressTest.CountModeAndEmptyTotal'
shoot 'ColorDialogTest.SwatchesShowTheirColours'
shoot 'HelpTest.ShippedPagesOpenAndLinkToOneAnother'
shoot 'HelpTest.DragCopiesTheSelectionToCutBufferZero'
shoot 'HelpTest.ASelectionFromTheMarginOfACentredLineOutlivesAResize'
shoot 'MsgListTest.OpensWithOneRowPerMessageAndItsCounters' test_gui
shoot 'MsgListTest.SortReordersRowsWithTheFolderAndKeepsSelections' test_gui
shoot 'MsgListTest.RowsInArrivalOrderWithGlyphsOnlyWhileShown' test_gui
shoot 'MainWindowTest.MainWindowMapsAndTakesNoCloseRequest' test_gui
shoot 'MainWindowTest.NewFolderTakesTheFirstFreeNumberAndItsName' test_gui
shoot 'MainWindowTest.PropertiesRenameAndReIcon' test_gui
shoot 'MainWindowTest.DeleteRefusesIncomingAndOutgoingAndAsksForOthers' test_gui
shoot 'MainWindowTest.ChooseFolderListsTheFoldersInOrder' test_gui
shoot 'MainWindowTest.SaveAndOpenFileDialogs' test_gui
shoot 'MainWindowTest.RealFileChooserIsTitledAndCancelsOnClose' test_gui
shoot 'MainWindowTest.AboutBoxWithoutItsPictureStillOpensAndCloses' test_gui
shoot 'CheckOnStartup.FetchesFromTheSpoolAndLeavesItAsConfigured' test_gui
shoot 'ComposeTest.SendDeliversWhatTheFieldsAndTheTextHold' test_gui
shoot 'AttachComposeTest.AddingCopiesUnderANameOfItsOwn' test_gui
shoot 'ComposeEndToEnd.ComposeFromTheMenuTypeAndSend' test_gui
shoot 'ComposeEndToEnd.AReplyToAVeryLongSubjectKeepsItWhole' test_gui
shoot 'LogPanelEndToEnd.EntriesAndSwitchesOfThePanelAcrossARestart' test_gui
shoot 'LogPanelEndToEnd.FieldsThatDoNotReadGoToTheLogAndOneBoxEndsTheFetch' test_gui
shoot 'MsgListEndToEnd.DeleteMoveCopySortExportImportCloseAndRestart' test_gui
shoot 'MsgListEndToEnd.AMessageThatCannotBeReadWholeIsRefused' test_gui
shoot 'AttachTest.NewAttachmentDialogChecksTheFileAndTakesTheChoices' test_gui
shoot 'MsgViewTest.OpeningShowsTheMessageAndMarksItRead' test_gui
shoot 'MsgViewEndToEnd.ReadsStepsSavesViewsMovesAndCloses' test_gui
shoot 'FilterBookTest.NewFilterStartsFromTheDefaultsAndStoresTheFieldsTrimmed' test_gui
shoot 'AddrBookTest.RowsShowAliasAndFullName' test_gui
shoot 'AddrBookTest.AddSavesTheFiveLineRecordAndRefusesATakenAlias' test_gui
shoot 'BooksEndToEnd.FilterMadeSavedReadByTheEngineAndDiscarded' test_gui
