// The report as its reader sees it, figures aside: a line per row and trial,
// then a line per row with its average between two separators, the prompt,
// and the line end the key brings. One source for the C++ tests and for the
// end-to-end harness, which reads these lines (tests/program/end_to_end.py).
#ifndef STRCYCLES_TESTS_SUPPORT_REPORT_FORM_H_
#define STRCYCLES_TESTS_SUPPORT_REPORT_FORM_H_

#define STRCYCLES_REPORT_ROWS "msvcrt strstr", "finstr", "Wordsweep"
#define STRCYCLES_REPORT_TRIALS 8
#define STRCYCLES_REPORT_TRIAL " timing "
#define STRCYCLES_REPORT_AVERAGE " average "
#define STRCYCLES_REPORT_SEPARATOR "----------------------"
#define STRCYCLES_REPORT_PROMPT "Press any key to continue ..."
#define STRCYCLES_REPORT_LINE_END "\r\n"

#endif  // STRCYCLES_TESTS_SUPPORT_REPORT_FORM_H_
