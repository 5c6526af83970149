#!/usr/bin/env python3
"""Merge translations into i18n/strings.json and write it back in canonical form.

Usage: tools/i18n_add.py FILE.json [...]
Each FILE holds {"key": {"en": "...", "ko": "...", ...}, ...}. Existing keys are replaced.
The table keeps languages in the picker's order and keys sorted, so parallel edits merge cleanly.
"""
import json, sys, pathlib

LANGS = ["ko", "en", "ja", "zh", "zh-Hant", "es", "fr", "de", "pt", "ru", "vi", "th", "id"]
path = pathlib.Path(__file__).resolve().parent.parent / "i18n" / "strings.json"
table = json.loads(path.read_text(encoding="utf-8")) if path.exists() else {}
for lang in LANGS:
    table.setdefault(lang, {})
for f in sys.argv[1:]:
    for key, texts in json.loads(pathlib.Path(f).read_text(encoding="utf-8")).items():
        missing = [l for l in LANGS if l not in texts]
        if missing:
            sys.exit(f"{f}: {key} lacks {missing}")
        for lang in LANGS:
            table[lang][key] = texts[lang]
out = {lang: dict(sorted(table[lang].items())) for lang in LANGS}
path.write_text(json.dumps(out, ensure_ascii=False, indent=2) + "\n", encoding="utf-8")
