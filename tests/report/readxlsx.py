#!/usr/bin/python3
"""readxlsx.py FILE: each sheet as "[name] frozen-cell", then its rows, cells joined by "|":
a number as "#value@number-format", text as it is, an empty cell as nothing."""
import sys

import openpyxl


def cell_text(cell):
    if isinstance(cell.value, (int, float)) and not isinstance(cell.value, bool):
        return f"#{cell.value}@{cell.number_format}"
    return "" if cell.value is None else str(cell.value)


for sheet in openpyxl.load_workbook(sys.argv[1]).worksheets:
    print(f"[{sheet.title}] {sheet.freeze_panes}")
    for row in sheet.iter_rows():
        print("|".join(cell_text(cell) for cell in row))
