#!/usr/bin/env python3
"""Usage: tests/gui/gui_tests.py VELMORA_EXE PROBE_EXE [CLI_EXE]

The end-to-end GUI cases: the real Velmora window under Wine on a virtual X
screen, driven the way a user does (X key events and mouse clicks) and read
back with PROBE_EXE (tests/gui/probe.cpp). One line per case, then
"N passed, M failed" (", K skipped" when a case could not be run here); the
exit status is non-zero when a case failed. CLI_EXE (velmora-cli.exe) is what
the window's netlist and copies are compared with; without it those cases are
skipped.

Each session runs on a freshly started program; its cases run in the order
written here, each going on from where the one before left the window. Facts
that the cases expect are those of "probe state" (see probe.cpp) plus the
derived ones of gui_driver.add_derived_facts; in keyword arguments "_" stands
for "." (text_ComboBoxER is text.ComboBoxER).
"""
import re
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

from gui_driver import MISSING, begins, main, rect, session, velmora_text, windows_path  # noqa: E402

# ---- Expected texts ----
EMPTY = "|||||"
# Default inputs (Zo 600, gain 0.0 dB, R1 10k, R3 10k, R5 68), series by series.
E24 = "602.806|  0.517|  2.400k|  3.900k|  3.952k|89.4%"
NOSERIES = "600.000|  0.000|  2.267k|  3.758k|  4.075k|89.4%"
E48 = "591.964| -0.518|  2.150k|  3.650k|  4.217k|89.4%"
E6 = "680.926|  3.795|  3.300k|  4.700k|  3.079k|89.4%"
E3 = "654.259| -6.740|  1.000k|  2.200k|  5.591k|89.4%"
E24_DECR_X = E24.rsplit("|", 1)[0] + "|x"  # E24 with "x" in the efficiency box
R5_WARNING = velmora_text("R5TooLarge")
R3_WARNING = velmora_text("R3TooSmall")
HINT_PRINT = velmora_text("ButtonPrintHint")
HINT_COPY = velmora_text("ButtonCopyHint")
REPORT = ("[Input data]\\r\\nZo = 600\\r\\nGain = 0.0dB\\r\\nR1 = 10k\\r\\nR3 = 10k\\r\\nR5 = 68\\r\\n\\r\\n"
          "[Result data]\\r\\nZo = 602.806\\r\\nGain =   0.517dB\\r\\nR2 =   2.400k\\r\\nR4 =   3.900k\\r\\n"
          "Zio =   3.952k\\r\\nη = 89.4%\\r\\n")
HELP_LINE1 = "指定された出力インピーダンスを持つアンプの定数計算"
FP_ERROR = "Invalid floating point operation."


def as_copied(csv):
    """CSV text with CR LF lines as the clipboard fact shows the tab-separated copy."""
    return csv.replace(",", "\t").replace("\r\n", "\\r\\n")


def shown(text):
    """A multi-line probe answer on one line, for a failure message."""
    return text.replace("\n", " | ")


# ---- Start-up and size ----
startup = session("start-up")


@startup.case("title")
def title_is_the_builds(ui):
    ui.expect(title=ui.title)


@startup.case("client area 361x342")
def client_area_has_its_size(ui):
    ui.expect(client="361x342")


@startup.case("centred on the screen")
def window_is_centred_on_the_screen(ui):
    ui.expect(window_centred="yes")


@startup.case("focus in EditZo")
def focus_starts_in_the_first_box(ui):
    ui.expect(focus="EditZo", active="main")


@startup.case("result boxes empty")
def result_boxes_start_empty(ui):
    ui.expect(results=EMPTY)


@startup.case("Print and Copy disabled")
def print_and_copy_start_disabled(ui):
    ui.expect(printcopy="00")


# The Help label is drawn like every label: in the window's font and the
# window-text colour (a link colour would show as coloured pixels).
@startup.case("Help label in the window's font")
def help_label_has_the_window_font(ui):
    main_font = ui.probe_facts("font main").get("font", "")
    ui.expect_probe("font LabelHelp", font=main_font)


@startup.case("Help label drawn without colour")
def help_label_has_no_colour(ui):
    ink = ui.probe_facts("ink LabelHelp")
    pixels, coloured = ink.get("ink.pixels", "none"), ink.get("ink.coloured", "none")
    why = f"ink pixels {pixels}, coloured {coloured}"
    ui.verify(pixels.isdigit() and int(pixels) > 0, why)
    ui.verify(coloured == "0", why)


@startup.case("corner drag does not enlarge")
def corner_drag_keeps_the_size(ui):
    ui.drag_corner(80, 60)
    ui.expect(client="361x342", window=ui.started["window"])


@startup.case("title double-click keeps size")
def title_double_click_keeps_the_size(ui):
    ui.title_double_click()
    ui.expect(client="361x342", window=ui.started["window"])


# The corner drag above proves something only if such a drag resizes a window
# that can be resized: the Help window can.
@startup.case("the same drag enlarges the resizable Help window")
def corner_drag_enlarges_the_help_window(ui):
    ui.click("LabelHelp")
    ui.wait_for(dialog_class="TFormHelp")
    l, t, r, b = rect(ui.state["dialog.rect"])
    ui.drag(r - 1, b - 1, r + 79, b + 59)
    ui.wait_for(dialog_rect=f"{l} {t} {r + 80} {b + 60}")


# ---- Focus ----
focus = session("focus")


# Before the first success Print and Copy are disabled and left out.
@focus.case("Up in EditZo wraps to ButtonExit")
def up_in_first_box_wraps_to_exit(ui):
    ui.key("Up")
    ui.expect(focus="ButtonExit")


@focus.case("Tab from ButtonExit wraps to EditZo")
def tab_from_exit_wraps_to_first_box(ui):
    ui.key("Tab")
    ui.expect(focus="EditZo")


@focus.case("Down in EditZo -> EditGain, no calc")
def down_moves_on_without_calculating(ui):
    ui.key("Down")
    ui.expect(focus="EditGain", results=EMPTY)


@focus.case("Up in EditGain -> EditZo")
def up_moves_back(ui):
    ui.key("Up")
    ui.expect(focus="EditZo")


@focus.case("Down in EditR5 -> ComboBoxER")
def down_in_last_input_moves_to_selector(ui):
    ui.click("EditR5")
    ui.key("Down")
    ui.expect(focus="ComboBoxER", results=EMPTY)


@focus.case("Tab ComboBoxER -> ButtonCalc")
def tab_from_selector_to_calc(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonCalc")


@focus.case("Tab skips disabled Print, Copy")
def tab_skips_disabled_buttons(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonExit")


@focus.case("shift+Tab skips them backwards")
def shift_tab_skips_disabled_buttons(ui):
    ui.key("shift+Tab")
    ui.expect(focus="ButtonCalc")


@focus.case("Tab EditR5 -> ComboBoxER")
def tab_from_last_input_to_selector(ui):
    ui.click("EditR5")
    ui.key("Tab")
    ui.expect(focus="ComboBoxER")


# EditDecr has no handlers: Enter neither moves nor calculates; the "y" typed
# after it shows that the Enter has been handled.
@focus.case("Enter in EditDecr: nothing")
def enter_in_efficiency_box_does_nothing(ui):
    ui.fill("EditDecr", "x")
    ui.key("Return")
    ui.type("y")
    ui.expect(focus="EditDecr", results="|||||xy")


# First calculation: the defaults with series 24.
@focus.case("Enter in EditZo -> EditGain, calculates")
def enter_in_first_box_calculates(ui):
    ui.click("EditZo")
    ui.key("Return")
    ui.expect(focus="EditGain", results=E24, printcopy="11")


@focus.case("Tab EditR5 -> ComboBoxER (enabled)")
def tab_from_last_input_to_selector_when_enabled(ui):
    ui.click("EditR5")
    ui.key("Tab")
    ui.expect(focus="ComboBoxER")


@focus.case("Tab ComboBoxER -> ButtonCalc (enabled)")
def tab_from_selector_to_calc_when_enabled(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonCalc")


@focus.case("Tab ButtonCalc -> ButtonPrint")
def tab_from_calc_to_print(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonPrint")


@focus.case("Tab ButtonPrint -> ButtonCopy")
def tab_from_print_to_copy(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonCopy")


@focus.case("Tab ButtonCopy -> ButtonExit")
def tab_from_copy_to_exit(ui):
    ui.key("Tab")
    ui.expect(focus="ButtonExit")


@focus.case("shift+Tab ButtonExit -> ButtonCopy")
def shift_tab_from_exit_to_copy(ui):
    ui.key("shift+Tab")
    ui.expect(focus="ButtonCopy")


@focus.case("shift+Tab ButtonCopy -> ButtonPrint")
def shift_tab_from_copy_to_print(ui):
    ui.key("shift+Tab")
    ui.expect(focus="ButtonPrint")


@focus.case("shift+Tab ButtonPrint -> ButtonCalc")
def shift_tab_from_print_to_calc(ui):
    ui.key("shift+Tab")
    ui.expect(focus="ButtonCalc")


@focus.case("shift+Tab ButtonCalc -> ComboBoxER")
def shift_tab_from_calc_to_selector(ui):
    ui.key("shift+Tab")
    ui.expect(focus="ComboBoxER")


def enter_in(ui, box, enter="Return"):
    """Spoils EditDecr (a calculation writes it back), then Enter in `box`."""
    ui.fill("EditDecr", "x")
    ui.click(box)
    ui.key(enter)


@focus.case("Enter in EditGain -> EditR1, calculates")
def enter_in_gain_calculates(ui):
    enter_in(ui, "EditGain")
    ui.expect(focus="EditR1", results=E24)


@focus.case("Enter in EditR5 -> ComboBoxER, calc")
def enter_in_last_input_calculates(ui):
    enter_in(ui, "EditR5")
    ui.expect(focus="ComboBoxER", results=E24)


@focus.case("shift+Enter in EditR1 acts as Enter")
def shift_enter_acts_as_enter(ui):
    enter_in(ui, "EditR1", "shift+Return")
    ui.expect(focus="EditR3", results=E24)


@focus.case("ctrl+Down in EditR3 acts as Down")
def ctrl_down_acts_as_down(ui):
    enter_in(ui, "EditR3", "ctrl+Down")
    ui.expect(focus="EditR5", results=E24_DECR_X)


@focus.case("Enter in EditZor (mouse) -> ComboBoxER")
def enter_in_result_box_goes_to_selector(ui):
    ui.fill("EditZor", "junk")
    ui.key("Return")
    ui.expect(focus="ComboBoxER", results=E24)


@focus.case("Enter in EditGainr -> ComboBoxER")
def enter_in_gain_result_goes_to_selector(ui):
    enter_in(ui, "EditGainr")
    ui.expect(focus="ComboBoxER", results=E24)


@focus.case("Enter in EditR2 -> ComboBoxER")
def enter_in_r2_result_goes_to_selector(ui):
    enter_in(ui, "EditR2")
    ui.expect(focus="ComboBoxER", results=E24)


@focus.case("Enter in EditR4 -> ComboBoxER")
def enter_in_r4_result_goes_to_selector(ui):
    enter_in(ui, "EditR4")
    ui.expect(focus="ComboBoxER", results=E24)


@focus.case("Enter in EditZio wraps to EditZo")
def enter_in_last_result_wraps_to_first_box(ui):
    enter_in(ui, "EditZio")
    ui.expect(focus="EditZo", results=E24)


@focus.case("Enter in selector stays, calculates")
def enter_in_selector_calculates(ui):
    enter_in(ui, "ComboBoxER")
    ui.expect(focus="ComboBoxER", results=E24, text_ComboBoxER="24")


# ---- Alt keys ----
# With Alt held the keys arrive as system keys: the boxes take them alike,
# while Alt+F4 and the selector's Alt+Down keep their usual meaning.
alt_keys = session("alt keys")


@alt_keys.case("alt+Return in EditZo -> EditGain, calc")
def alt_enter_calculates(ui):
    ui.click("EditZo")
    ui.key("alt+Return")
    ui.expect(focus="EditGain", results=E24, printcopy="11")


@alt_keys.case("alt+Down in EditGain -> EditR1, no calc")
def alt_down_moves_without_calculating(ui):
    ui.fill("EditDecr", "x")
    ui.click("EditGain")
    ui.key("alt+Down")
    ui.expect(focus="EditR1", results=E24_DECR_X)


@alt_keys.case("alt+Up in EditR1 -> EditGain")
def alt_up_moves_back(ui):
    ui.key("alt+Up")
    ui.expect(focus="EditGain")


@alt_keys.case("alt+Up in EditZo wraps to ButtonExit")
def alt_up_in_first_box_wraps_to_exit(ui):
    ui.click("EditZo")
    ui.key("alt+Up")
    ui.expect(focus="ButtonExit")


# Were the release of Alt left to open the system menu, the typing would go there.
@alt_keys.case("typing after alt+Return reaches the box")
def typing_after_alt_enter_reaches_the_box(ui):
    ui.click("EditR1")
    ui.key("alt+Return")
    ui.type("9k")
    ui.expect(focus="EditR3", text_EditR3="9k")


@alt_keys.case("alt+Return in the selector calculates")
def alt_enter_in_selector_calculates(ui):
    ui.fill("EditR3", "10k")
    ui.fill("EditDecr", "x")
    ui.click("ComboBoxER")
    ui.key("alt+Return")
    ui.expect(focus="ComboBoxER", results=E24)


# The list must stay open after Alt is let go, and the keys after it must
# reach the selector, not the system menu.
@alt_keys.case("alt+Down in the selector opens its list")
def alt_down_opens_the_list(ui):
    ui.key("alt+Down")
    ui.expect(dialog_class="ComboLBox")


@alt_keys.case("  alt+Up closes it")
def alt_up_closes_the_list(ui):
    ui.key("alt+Up")
    ui.expect(dialogs=0, focus="ComboBoxER", text_ComboBoxER="24")


@alt_keys.case("  then Down steps to 48")
def down_after_the_list_steps_on(ui):
    ui.key("Down")
    ui.expect(text_ComboBoxER="48", results=E48)


@alt_keys.case("alt+F4 in a box ends the program")
def alt_f4_ends_the_program(ui):
    ui.click("EditZo")
    ui.key("alt+F4")
    ui.expect(title=MISSING)


# ---- Netlist ----
# The window menu's netlist entry: grey until a calculation succeeds, then the
# standard Save dialog; the file is what velmora-cli --netlist --crlf writes
# for the same inputs (UTF-8 without a byte order mark, CR LF).
netlist = session("netlist")


# The Save dialog takes a moment to come: wait for it before saying it did not.
@netlist.case("before a calculation the entry does nothing")
def netlist_entry_is_grey_before_a_calculation(ui):
    ui.window_menu("t")
    ui.wait(2)
    ui.expect(dialogs=0, focus="EditZo")


@netlist.case("after one, alt+space t opens the Save dialog")
def netlist_entry_opens_the_save_dialog(ui):
    ui.key("Return")
    ui.window_menu("t")
    ui.expect(dialog_caption="Save As")


@netlist.case("  a file name and Enter save the netlist")
def save_dialog_saves_the_netlist(ui):
    file = ui.work / "stage.cir"
    file.unlink(missing_ok=True)
    ui.type(windows_path(file))
    ui.key("Return")
    ui.expect(dialogs=0, focus="EditGain")


@netlist.case("  the file is the command line's netlist")
def saved_netlist_is_the_clis(ui):
    status, want = ui.cli_run("--netlist", "--crlf")
    ui.verify(status == 0, "velmora-cli.exe --netlist failed")
    file = ui.work / "stage.cir"
    saved = file.read_bytes() if file.is_file() else None
    head = saved[:300].decode("utf-8", "replace").translate({13: " ", 10: " "}) if saved else f"no {file}"
    ui.verify(saved == want, head)


@netlist.case("after the R5 warning the entry is grey again")
def netlist_entry_is_grey_after_a_warning(ui):
    ui.fill("EditR5", "470")
    ui.key("Return")
    ui.ok()
    ui.window_menu("t")
    ui.wait(2)
    ui.expect(dialogs=0)


# ---- Hints ----
# A disabled control gets no mouse messages, yet its hint shows all the same.
hints = session("hints")


@hints.case("disabled Print shows its hint")
def disabled_print_shows_its_hint(ui):
    ui.hover("ButtonPrint")
    ui.expect(printcopy="00", tooltip=HINT_PRINT)


@hints.case("disabled Copy shows its hint")
def disabled_copy_shows_its_hint(ui):
    ui.hover("ButtonCopy")
    ui.expect(printcopy="00", tooltip=HINT_COPY)


@hints.case("enabled Copy shows its hint")
def enabled_copy_shows_its_hint(ui):
    ui.click("ButtonCalc")
    ui.hover("ButtonCopy")
    ui.expect(printcopy="11", tooltip=HINT_COPY)


@hints.case("enabled Print shows its hint")
def enabled_print_shows_its_hint(ui):
    ui.hover("ButtonPrint")
    ui.expect(printcopy="11", tooltip=HINT_PRINT)


@hints.case("R3 900, no series: R3 warning")
def r3_warning_comes(ui):
    ui.clear("ComboBoxER")
    ui.fill("EditR3", "900")
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Warning")


@hints.case("  closed: Print and Copy disabled")
def closed_r3_warning_disables_print_and_copy(ui):
    ui.key("Return")
    ui.expect(dialogs=0, printcopy="00")


@hints.case("  disabled Print shows its hint")
def disabled_again_print_shows_its_hint(ui):
    ui.hover("ButtonPrint")
    ui.expect(printcopy="00", tooltip=HINT_PRINT)


@hints.case("  disabled Copy shows its hint")
def disabled_again_copy_shows_its_hint(ui):
    ui.hover("ButtonCopy")
    ui.expect(printcopy="00", tooltip=HINT_COPY)


# ---- Report and clipboard ----
report = session("report")


@report.case("defaults + Enter: results, Print/Copy on")
def enter_calculates_the_defaults(ui):
    ui.key("Return")
    ui.expect(results=E24, printcopy="11", focus="EditGain")


@report.case("Copy button puts the 14-line report on the clipboard")
def copy_puts_the_report_on_the_clipboard(ui):
    ui.probe("clearclipboard")
    ui.verify(ui.probe("clipboard").output == "clipboard.length=0\nclipboard=", "could not empty the clipboard first")
    ui.click("ButtonCopy")
    got = ui.clipboard_arrival()
    ui.verify(got == f"clipboard.length=173\nclipboard={REPORT}", f"got '{shown(got)}'")


# Another program keeps the clipboard open: Copy reports it and leaves the
# clipboard alone; once the clipboard is free, Copy works again.
@report.case("Copy while another program holds the clipboard: error box")
def copy_reports_a_held_clipboard(ui):
    ui.verify(ui.hold_clipboard(), "the holder did not take the clipboard")
    # Where the window system lets a second program open a clipboard that is
    # held open, Copy cannot meet a held clipboard: said, not counted.
    if ui.probe("clipboard").ok:
        ui.release_clipboard()
        ui.skip("the probe itself could open the held clipboard")
    ui.remember("held clipboard", True)
    ui.click("ButtonCopy")
    ui.expect(dialogs=1, dialog_class="#32770", dialog_caption="Velmora",
              dialog_text=begins("Cannot open clipboard: "), dialog_buttons="OK", dialog_icon="stop")


def need_holder(ui):
    if not ui.memory.get("held clipboard"):
        ui.skip("no program held the clipboard for the case above")


@report.case("  closed by clicking OK")
def clipboard_error_closes_with_ok(ui):
    need_holder(ui)
    ui.ok()
    ui.expect(dialogs=0, active="main")


@report.case("  the holder's text stays on the clipboard")
def held_clipboard_keeps_its_text(ui):
    need_holder(ui)
    ui.dismiss_dialogs()
    ui.release_clipboard()
    got = ui.probe("clipboard").output
    ui.verify(got == "clipboard.length=7\nclipboard=keep-me", f"got '{shown(got)}'")


@report.case("  Copy works again")
def copy_works_once_the_clipboard_is_free(ui):
    need_holder(ui)
    ui.probe("clearclipboard")
    ui.click("ButtonCopy")
    got = ui.clipboard_arrival()
    ui.verify(got == f"clipboard.length=173\nclipboard={REPORT}", f"got '{shown(got)}'")


# ---- Outcomes of a calculation ----
outcomes = session("outcomes")


@outcomes.case("first calculation succeeds")
def first_calculation_succeeds(ui):
    ui.click("ButtonCalc")
    ui.expect(results=E24, printcopy="11", dialogs=0)


@outcomes.case("Gain abc: emptied, no dialog")
def unreadable_gain_empties_the_results(ui):
    ui.fill("EditGain", "abc")
    ui.click("ButtonCalc")
    ui.expect(results=EMPTY, dialogs=0, printcopy="11", text_ComboBoxER="24")


@outcomes.case("  same, selector x: reads as ∞")
def unreadable_selector_reads_as_no_series(ui):
    ui.fill("ComboBoxER", "x")
    ui.expect(results=EMPTY, dialogs=0, printcopy="11", text_ComboBoxER="∞")


@outcomes.case("valid again with series 24")
def valid_inputs_calculate_again(ui):
    ui.fill("EditGain", "0.0")
    ui.fill("ComboBoxER", "24")
    ui.expect(results=E24, printcopy="11", dialogs=0)


# The warning comes before the boxes are emptied.
@outcomes.case("R5 470: warning, results kept")
def r5_warning_keeps_the_results_while_shown(ui):
    ui.fill("EditR5", "470")
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Warning", dialog_buttons="OK", dialog_text=R5_WARNING, dialog_icon="warning",
              dialog_centred="yes", results=E24)


@outcomes.case("  closed with Enter: emptied")
def r5_warning_closed_with_enter_empties(ui):
    ui.key("Return")
    ui.expect(dialogs=0, results=EMPTY, printcopy="11")


@outcomes.case("R5 warning again")
def r5_warning_comes_again(ui):
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Warning", dialog_buttons="OK", dialog_centred="yes")


@outcomes.case("  closed with Esc")
def r5_warning_closes_with_escape(ui):
    ui.key("Escape")
    ui.expect(dialogs=0, results=EMPTY, printcopy="11")


@outcomes.case("R5 warning once more")
def r5_warning_comes_once_more(ui):
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Warning", dialog_buttons="OK")


@outcomes.case("  closed by clicking OK")
def r5_warning_closes_with_ok(ui):
    ui.ok()
    ui.expect(dialogs=0, results=EMPTY, printcopy="11", active="main")


@outcomes.case("R5 68, no series")
def no_series_gives_exact_values(ui):
    ui.fill("EditR5", "68")
    ui.clear("ComboBoxER")
    ui.expect(results=NOSERIES, text_ComboBoxER="∞", printcopy="11")


@outcomes.case("R3 900 with ∞: R3 warning")
def r3_warning_comes(ui):
    ui.fill("EditR3", "900")
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Warning", dialog_buttons="OK", dialog_text=R3_WARNING, dialog_icon="warning",
              dialog_centred="yes")


@outcomes.case("  closed: emptied, Print/Copy off")
def r3_warning_closed_empties_and_disables(ui):
    ui.key("Return")
    ui.expect(dialogs=0, results=EMPTY, printcopy="00")


# A floating-point fault changes neither the boxes nor the buttons: checked
# once from the empty/disabled state and once from the filled/enabled one.
@outcomes.case("R1 0: error box (empty, off)")
def fp_error_keeps_empty_boxes(ui):
    ui.fill("EditR3", "10k")
    ui.fill("EditR1", "0")
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Velmora", dialog_text=FP_ERROR, dialog_buttons="OK", dialog_icon="stop",
              results=EMPTY, printcopy="00")


@outcomes.case("  after OK: still empty, off")
def fp_error_closed_keeps_empty_boxes(ui):
    ui.ok()
    ui.expect(dialogs=0, results=EMPTY, printcopy="00")


@outcomes.case("R1 10k: works again after the error")
def calculation_works_after_fp_error(ui):
    ui.fill("EditR1", "10k")
    ui.click("ButtonCalc")
    ui.expect(results=NOSERIES, printcopy="11", dialogs=0)


@outcomes.case("R1 0: error box (filled, on)")
def fp_error_keeps_filled_boxes(ui):
    ui.fill("EditR1", "0")
    ui.click("ButtonCalc")
    ui.expect(dialog_caption="Velmora", dialog_text=FP_ERROR, dialog_icon="stop", results=NOSERIES,
              printcopy="11")


@outcomes.case("  after Enter: kept, on")
def fp_error_closed_keeps_filled_boxes(ui):
    ui.key("Return")
    ui.expect(dialogs=0, results=NOSERIES, printcopy="11")


@outcomes.case("R1 10k, series 24: works")
def series_24_works_again(ui):
    ui.fill("EditR1", "10k")
    ui.fill("ComboBoxER", "24")
    ui.expect(results=E24, printcopy="11", dialogs=0)


# ---- The series selector ----
selector = session("selector")


# Arrow keys in the closed selector step through its list from "24".
@selector.case("Down: 24 -> 48, calculates")
def down_steps_to_the_next_series(ui):
    ui.click("ComboBoxER")
    ui.key("Down")
    ui.expect(text_ComboBoxER="48", results=E48)


@selector.case("Up: 48 -> 24, calculates")
def up_steps_back(ui):
    ui.key("Up")
    ui.expect(text_ComboBoxER="24", results=E24)


@selector.case("Up: 24 -> 12")
def up_steps_to_series_12(ui):
    ui.key("Up")
    ui.expect(text_ComboBoxER="12", text_EditR2="  1.800k", text_EditR4="  3.300k")


@selector.case("delete all -> ∞, no series")
def emptied_selector_means_no_series(ui):
    ui.clear("ComboBoxER")
    ui.expect(text_ComboBoxER="∞", results=NOSERIES)


@selector.case("typed 24")
def typed_series_24(ui):
    ui.fill("ComboBoxER", "24")
    ui.expect(text_ComboBoxER="24", results=E24)


@selector.case("typed abc -> ∞")
def typed_letters_mean_no_series(ui):
    ui.fill("ComboBoxER", "abc")
    ui.expect(text_ComboBoxER="∞", results=NOSERIES)


# "-" alone would read as 0 and turn into "∞": put the sign in front of "24".
@selector.case("-24 stays, rounds like 24")
def negative_series_rounds_like_its_size(ui):
    ui.fill("ComboBoxER", "24")
    ui.key("Home")
    ui.type("-")
    ui.expect(text_ComboBoxER="-24", results=E24)


@selector.case("typed 3: three-step series")
def typed_three_step_series(ui):
    ui.fill("ComboBoxER", "3")
    ui.expect(text_ComboBoxER="3", results=E3)


@selector.case("list: pick 6 with the mouse")
def list_picks_series_6(ui):
    ui.open_list("ComboBoxER")
    ui.pick(0)
    ui.expect(text_ComboBoxER="6", results=E6, dialogs=0)


@selector.case("list: pick ∞ with the mouse")
def list_picks_no_series(ui):
    ui.open_list("ComboBoxER")
    ui.pick(6)
    ui.expect(text_ComboBoxER="∞", results=NOSERIES, dialogs=0)


# Writing "∞" into the selector is no edit: were it one, the calculation would
# run again (endlessly) and a second warning would follow the first.
@selector.case("R5 470, typed x: one warning")
def no_series_written_back_warns_once(ui):
    ui.fill("EditR5", "470")
    ui.fill("ComboBoxER", "x")
    ui.expect(dialog_caption="Warning", dialogs=1, text_ComboBoxER="∞")


@selector.case("  after OK no second warning")
def no_second_warning_after_ok(ui):
    ui.key("Return")
    ui.expect(dialogs=0, results=EMPTY, text_ComboBoxER="∞")


# Selecting all with ctrl+a edits nothing, so nothing may be calculated (here
# a calculation would show the R5 warning) ...
@selector.case("ctrl+a alone calculates nothing")
def select_all_calculates_nothing(ui):
    ui.click("ComboBoxER")
    ui.key("ctrl+a")
    ui.expect(dialogs=0)


# ... and what is typed next replaces the selected "∞".
@selector.case("ctrl+a, typing 24 replaces ∞")
def typing_replaces_the_selection(ui):
    ui.dismiss_dialogs()
    ui.fill("EditR5", "68")
    ui.click("ComboBoxER")
    ui.key("ctrl+a")
    ui.type("24")
    ui.expect(text_ComboBoxER="24", results=E24)


# ---- The help window ----
help_window = session("help")


@help_window.case("first click: one window, centred")
def help_opens_once_centred(ui):
    ui.click("LabelHelp")
    ui.expect(help_count=1, help_visible=1, help_owner="main", help_caption="Help", help_client="566x234",
              help_firstplace="yes", help_memofits="yes")


@help_window.case("  its text: 20 lines")
def help_text_has_19_lines(ui):
    ui.expect(help_line1=HELP_LINE1, help_lines=20)


@help_window.case("  its font: Tahoma, 11 px")
def help_window_font(ui):
    ui.expect_probe("font help", font="Tahoma|-11|0|0|0|1")


@help_window.case("  the text box's font: the same")
def help_text_box_font(ui):
    ui.expect_probe("font Memo1", font="Tahoma|-11|0|0|0|1")


# Characters that no font has glyphs for are all drawn as the same box.
@help_window.case("  Japanese drawn, not boxes")
def help_japanese_has_glyphs(ui):
    ui.expect_probe("helpglyphs 5", glyphs_inked=5, glyphs_distinct=5)


# Moved up, clear of the Help label, which it covers at its first place.
@help_window.case("moved by its title bar")
def help_moves_by_its_title_bar(ui):
    l, t, r, b = rect(ui.read_state().get("help.rect", "")) or (0, 0, 0, 0)
    moved = f"{l} {t - 120} {r} {b - 120}"
    ui.remember("moved help window", moved)
    ui.help_move(0, -120)
    ui.expect(help_rect=moved, help_visible=1)


# Near the main window's bottom-left corner, below the moved help window.
@help_window.case("main window can be activated")
def main_window_activates_over_help(ui):
    ui.main_click(10, -12)
    ui.expect(active="main", help_visible=1, help_active=0)


@help_window.case("second click: still one, in front")
def help_second_click_brings_it_to_front(ui):
    ui.click("LabelHelp")
    ui.expect(help_count=1, help_visible=1, help_active=1, help_rect=ui.recall("moved help window"))


@help_window.case("typed into its text")
def help_text_is_editable(ui):
    ui.help_text()
    ui.key("ctrl+Home")
    ui.type("xyz")
    ui.expect(help_line1="xyz" + HELP_LINE1, help_lines=20)


@help_window.case("alt+F4 hides it, not destroys")
def help_alt_f4_hides(ui):
    ui.key("alt+F4")
    ui.expect(help_count=1, help_visible=0, title=ui.title)


@help_window.case("Help again: same place, edit kept")
def help_comes_back_unchanged(ui):
    ui.click("LabelHelp")
    ui.expect(help_count=1, help_visible=1, help_rect=ui.recall("moved help window"),
              help_line1="xyz" + HELP_LINE1, help_lines=20)


@help_window.case("enlarged: the text box follows")
def help_text_box_follows_enlarging(ui):
    ui.help_corner(80, 60)
    ui.expect(help_client="646x294", help_memofits="yes")


@help_window.case("made smaller: the text box follows")
def help_text_box_follows_shrinking(ui):
    ui.help_corner(-200, -100)
    ui.expect(help_client="446x194", help_memofits="yes")


# ---- The explorer window ----
# Both pages by key and by the window menu, the list of every series against
# velmora-cli, choosing a row, the tolerance page's figures, yield and
# histogram against velmora-cli, bad input, cancel.
explorer = session("explorer")


@explorer.case("Ctrl+E opens it owned by the main window")
def ctrl_e_opens_the_explorer(ui):
    ui.key("ctrl+e")
    ui.expect(explorer_visible=1, explorer_page=0, explorer_owner="main", explorer_caption="設計エクスプローラ",
              explorer_rows=0, title=ui.title)


@explorer.case("  Esc hides it")
def escape_hides_the_explorer(ui):
    ui.key("Escape")
    ui.expect(explorer_visible=0, explorer_count=1)


@explorer.case("Enter in the main window, then Alt+Space E: 8 rows, E24's selected")
def window_menu_opens_the_series_page(ui):
    ui.main_click(10, -12)
    ui.click("EditZo")
    ui.key("Return")
    ui.window_menu("e")
    ui.expect(explorer_visible=1, explorer_page=0, explorer_rows=8, explorer_selected=4, results=E24)


@explorer.case("  its copy is velmora-cli --all-series --format csv")
def series_copy_is_the_clis_csv(ui):
    cli = ui.cli_output("--all-series", "--format", "csv")
    want = as_copied(cli.split("\r\n\r\n", 1)[-1])
    copied = ui.copy_from("ex.CopySeries")
    ui.verify(copied == want, f"got '{copied}', want '{want}'")


@explorer.case("double-click on the 96 row: the selector and the results follow")
def double_click_on_a_row_chooses_its_series(ui):
    ui.explorer_row(6, clicks=2)
    ui.expect(text_ComboBoxER="96", results="603.566|  0.000|  2.260k|  3.740k|  4.065k|89.4%",
              explorer_selected=6)


@explorer.case("  Up and Enter: series 48")
def up_and_enter_choose_the_row_above(ui):
    ui.key("Up")
    ui.key("Return")
    ui.expect(text_ComboBoxER="48", explorer_selected=5, results=begins("591.964"))


@explorer.case("Ctrl+L: the tolerance page, E48's 2 %, the yield")
def ctrl_l_shows_the_tolerance_page(ui):
    ui.key("ctrl+l")
    ui.expect(explorer_page=1, explorer_text_Tol=2, explorer_text_Yield=begins("歩留まり "),
              explorer_text_Figures=begins(
                  "Tolerance:  series 48  ±% 2  distribution uniform  samples 100000  seed 1"))


def zo_bins_of_copy(copied):
    """The counts of the Zo histogram's bins in the tolerance copy."""
    counts = []
    for line in copied.split("\\r\\n"):
        f = line.split("\t")
        number = r"[-+.e0-9]+"
        if len(f) >= 4 and f[0] == "zo" and re.fullmatch(number, f[1]) and re.fullmatch(number, f[2]):
            counts.append(f[3])
    return counts


def zo_bars_of_svg(svg):
    """The counts of the bars of the SVG's Zo histogram (its <g id="zo"> group)."""
    counts, inside = [], False
    for line in svg.split("\n"):
        if inside or '<g id="zo"' in line:
            if m := re.match(r'.*class="bar" data-count="([0-9]*)"', line):
                counts.append(m.group(1))
            # The group ends at the first "</g>" after its opening line.
            inside = not (inside and "</g>" in line)
    return counts


@explorer.case("  its copy is velmora-cli --tolerance's csv, with the SVG's bins")
def tolerance_copy_is_the_clis_csv_with_the_plots_bins(ui):
    svg = ui.work / "plot.svg"
    want = as_copied(ui.cli_output("--series", "48", "--tolerance", "--format", "csv", "--plot", windows_path(svg)))
    copied = ui.copy_from("ex.CopyTol")
    ui.verify(copied.startswith(want), f"got '{copied[:300]}', want '{want[:300]}'")
    bins = zo_bins_of_copy(copied)
    bars = zo_bars_of_svg(svg.read_text(encoding="utf-8")) if svg.is_file() else []
    why = f"bins '{' '.join(bins)}', SVG '{' '.join(bars)}'"
    ui.verify(bars, why)
    ui.verify(bins == bars, why)


@explorer.case("samples 0: a message, nothing computed")
def zero_samples_are_refused(ui):
    ui.fill("ex.Samples", "0")
    ui.click("ex.Calc")
    ui.expect(dialogs=1, dialog_text="サンプル数は 1 から 10000000 までの整数を入力してください",
              explorer_text_Figures="")


@explorer.case("  OK: the samples box has the focus")
def refused_samples_get_the_focus(ui):
    ui.ok()
    ui.expect(dialogs=0, explorer_focus="Samples", explorer_enabled_CopyTol=0)


@explorer.case("a long run shows its progress")
def long_run_shows_progress(ui):
    ui.fill("ex.Samples", "10000000")
    ui.click("ex.Calc")
    ui.expect(explorer_shown_Progress=1, explorer_enabled_Cancel=1, explorer_text_Yield="計算中…")


@explorer.case("  Cancel stops it")
def cancel_stops_the_run(ui):
    ui.click("ex.Cancel")
    ui.expect(explorer_shown_Progress=0, explorer_text_Yield="中止しました", explorer_text_Figures="",
              explorer_enabled_Cancel=0)


@explorer.case("Esc with the focus where Cancel was: hidden")
def escape_after_cancel_hides(ui):
    ui.key("Escape")
    ui.expect(explorer_visible=0)


@explorer.case("Alt+Space L from the main window: the tolerance page")
def window_menu_opens_the_tolerance_page(ui):
    ui.main_click(10, -12)
    ui.window_menu("l")
    ui.expect(explorer_visible=1, explorer_page=1, explorer_focus="Tol")


@explorer.case("  Ctrl+E there: the every-series page")
def ctrl_e_switches_to_the_series_page(ui):
    ui.key("ctrl+e")
    ui.expect(explorer_page=0, explorer_visible=1)


# Under Wine the Copy button, moved by the maximising, once stayed blank
# until the tab was changed.
@explorer.case("maximised from its smallest size: the Copy button is drawn")
def copy_button_drawn_after_maximising_from_the_smallest_size(ui):
    ui.explorer_corner(-2000, -2000)
    ui.expect(explorer_page=0, explorer_visible=1, explorer_active=1)
    ui.window_menu("x")
    ui.expect(explorer_zoomed=1)
    ink = {}
    for _ in range(20):  # the redraw follows the maximising
        ink = ui.probe_facts("ink ex.CopySeries")
        if int(ink.get("ink.pixels", "0") or 0) > 50:
            break
        time.sleep(0.1)
    ui.verify(int(ink.get("ink.pixels", "0") or 0) > 50, f"ink pixels {ink.get('ink.pixels', 'none')}")
    ui.window_menu("r")
    ui.expect(explorer_zoomed=0)



# ---- The explorer's frequency page ----
# By key, tab and menu; its copy against velmora-cli --frequency for two
# presets and a custom op-amp; a box while it is typed; a bad value.
frequency = session("frequency")
FREQUENCY_SWEEP = "{}: 10Hz – 10MHz, 121 点"


def frequency_copy_is_the_clis(ui, *options):
    want = as_copied(ui.cli_output("--frequency", "--format", "csv", *options))
    copied = ui.copy_from("ex.CopyFreq")
    ui.verify(want.count("\\r\\n") > 130, f"velmora-cli gave '{want[:200]}'")
    ui.verify(copied == want, f"got '{copied[:400]}', want '{want[:400]}'")


@frequency.case("Enter, then Ctrl+F: the page for the ideal op-amp, focus on its list")
def ctrl_f_opens_the_frequency_page(ui):
    ui.click("EditZo")
    ui.key("Return")
    ui.key("ctrl+f")
    ui.expect(explorer_visible=1, explorer_page=2, explorer_focus="OpAmp", explorer_text_OpAmp="ideal",
              explorer_text_Gbw="∞", explorer_text_Ro="0", explorer_text_Temp="25",
              explorer_text_FreqStatus=FREQUENCY_SWEEP.format("ideal"), explorer_enabled_CopyFreq=1,
              explorer_text_FreqFigures=begins("DC\\r\\nop-amp"))


@frequency.case("  its copy is velmora-cli --frequency's csv")
def ideal_copy_is_the_clis_csv(ui):
    frequency_copy_is_the_clis(ui)


@frequency.case("  NE5532 chosen: it fills the boxes; its copy is --opamp NE5532's")
def ne5532_copy_is_the_clis_csv(ui):
    ui.click("ex.OpAmp")  # opens the list
    ui.key("Down", "Return")
    ui.expect(explorer_text_OpAmp="NE5532", explorer_text_Gbw="10M", explorer_text_A0="100",
              explorer_text_En="5n", explorer_text_Imax="38m",
              explorer_text_FreqStatus=FREQUENCY_SWEEP.format("NE5532"))
    frequency_copy_is_the_clis(ui, "--opamp", "NE5532")


@frequency.case("  TL072 with CL 1n: --opamp TL072 --cload 1n")
def tl072_with_a_cable_is_the_clis_csv(ui):
    ui.click("ex.OpAmp")
    ui.key("Down", "Return")
    ui.fill("ex.Cload", "1n")
    ui.expect(explorer_text_OpAmp="TL072", explorer_text_Cload="1n",
              explorer_text_FreqStatus=FREQUENCY_SWEEP.format("TL072"))
    frequency_copy_is_the_clis(ui, "--opamp", "TL072", "--cload", "1n")


@frequency.case("  GBW typed: custom; its copy is the same values given one by one")
def custom_op_amp_is_the_clis_csv(ui):
    ui.fill("ex.Gbw", "4M7")
    ui.fill("ex.Temp", "60")
    ui.expect(explorer_text_OpAmp="custom", explorer_text_FreqStatus=FREQUENCY_SWEEP.format("custom"))
    frequency_copy_is_the_clis(ui, "--a0", "106", "--gbw", "4.7M", "--f2", "inf", "--ro", "0", "--en", "18n",
                               "--in", "0.01p", "--vmax", "12", "--imax", "40m", "--cload", "1n", "--temp", "60")


@frequency.case("  a box emptied while typing: not computed, no message")
def emptied_box_clears_the_page(ui):
    ui.click("ex.Vmax")
    ui.key("Home", "shift+End", "Delete")
    ui.expect(dialogs=0, explorer_text_FreqStatus="未計算: 値を入力してください", explorer_text_FreqFigures="",
              explorer_enabled_CopyFreq=0, explorer_focus="Vmax")


@frequency.case("  Enter on it: the message, nothing computed")
def enter_on_an_empty_box_is_refused(ui):
    ui.key("Return")
    ui.expect(dialogs=1, dialog_text="Vmax は 0 より大きく 1M 以下の電圧 (V ピーク) か ∞ を入力してください",
              explorer_text_FreqFigures="", explorer_enabled_CopyFreq=0)


@frequency.case("  OK: the focus is back on Vmax")
def refused_box_keeps_the_focus(ui):
    ui.ok()
    ui.expect(dialogs=0, explorer_focus="Vmax", explorer_enabled_CopyFreq=0)


@frequency.case("  GBW 0 and Calculate: its own message, focus on GBW")
def zero_gbw_is_refused(ui):
    ui.fill("ex.Vmax", "12")
    ui.fill("ex.Gbw", "0")
    ui.click("ex.FreqCalc")
    ui.expect(dialogs=1, dialog_text="GBW は 0 より大きく 1T 以下の周波数 (Hz) か ∞ を入力してください")
    ui.ok()
    ui.expect(dialogs=0, explorer_focus="Gbw", explorer_text_FreqFigures="")


@frequency.case("the tabs: the first, then the third again")
def tabs_reach_the_frequency_page(ui):
    ui.explorer_tab(0)
    ui.expect(explorer_page=0, explorer_shown_Gbw=0)
    ui.explorer_tab(2)
    ui.expect(explorer_page=2, explorer_shown_Gbw=1, explorer_text_Gbw="0")


@frequency.case("Esc, then Alt+Space F from the main window: the page again")
def window_menu_opens_the_frequency_page(ui):
    ui.key("Escape")
    ui.expect(explorer_visible=0)
    ui.main_click(10, -12)
    ui.window_menu("f")
    ui.expect(explorer_visible=1, explorer_page=2, explorer_focus="OpAmp")


@frequency.case("R5 3, no series, Enter: the page follows the new design")
def frequency_page_follows_a_calculation(ui):
    ui.key("Escape")
    ui.main_click(10, -12)
    ui.fill("EditR5", "3")
    ui.fill("ComboBoxER", "x")  # reads as no series
    ui.key("Return")
    ui.expect(text_ComboBoxER="∞")
    ui.key("ctrl+f")
    ui.fill("ex.Gbw", "3M")
    ui.expect(explorer_page=2, explorer_text_FreqStatus=FREQUENCY_SWEEP.format("custom"))
    frequency_copy_is_the_clis(ui, "--r5", "3", "--series", "0", "--a0", "106", "--gbw", "3M", "--f2", "inf",
                               "--ro", "0", "--en", "18n", "--in", "0.01p", "--vmax", "12", "--imax", "40m",
                               "--cload", "1n", "--temp", "60")

if __name__ == "__main__":
    sys.exit(main(sys.argv))
