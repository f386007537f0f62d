"""Reading relay traces: lines as Wine 8 writes them, including its escapes and cut strings."""

import unittest

import wineharness as wh

SAMPLE = r"""0124:trace:relay:load_list L"RelayInclude" = L"msi.MsiInstallProductW;user32.MessageBoxW"
0124:Call KERNEL32.CreateProcessW(00000000,00cd5be0 L"msiexec /i Z:\\tmp\\wx\\pkg.msi /qn PROP=1 \"Q=a b\"",00000000,00000000,00000001,00000000,00000000,00000000,0068fd60,0068fd20) ret=00401a81
0124:Ret  KERNEL32.CreateProcessW() retval=00000001 ret=00401a81
012c:Call PE DLL (proc=6E465E60,module=6E3C0000 L"msi.dll",reason=PROCESS_ATTACH,res=0073FD24)
012c:Call msi.MsiSetInternalUI(00000002,00000000) ret=0040264b
012c:Ret  msi.MsiSetInternalUI() retval=00000001 ret=0040264b
012c:Call msi.MsiInstallProductW(00870576 L"Z:\\tmp\\wx\\pkg.msi",00870620 L" PROP=1 Q=\"a b\"") ret=00402e34
012c:fixme:file:NtLockFile I/O completion on lock not implemented yet
012c:Ret  msi.MsiInstallProductW() retval=00000643 ret=00402e34
012c:Call KERNEL32.ExitProcess(00000643) ret=6aae51dc
"""


class RelayParserTest(unittest.TestCase):
    def test_calls_with_their_strings_and_return_values(self):
        trace = wh.Trace(SAMPLE)
        self.assertEqual(trace.names(), ["KERNEL32.CreateProcessW", "msi.MsiSetInternalUI",
                                         "msi.MsiInstallProductW", "KERNEL32.ExitProcess"])
        install = trace.one("MsiInstallProductW")
        self.assertEqual(install.text(0), r"Z:\tmp\wx\pkg.msi")
        self.assertEqual(install.text(1), ' PROP=1 Q="a b"')
        self.assertEqual(install.number(1), 0x00870620)
        self.assertEqual(install.retval, 1603)
        self.assertEqual(install.thread, 0x12C)
        self.assertEqual(install.caller, 0x402E34)
        self.assertIsNone(install.process)
        create = trace.one("kernel32.CreateProcessW")  # module names ignore case
        self.assertIsNone(create.text(0))
        self.assertEqual(create.number(0), 0)
        self.assertEqual(create.text(1), r'msiexec /i Z:\tmp\wx\pkg.msi /qn PROP=1 "Q=a b"')
        self.assertEqual(len(create.args), 10)
        self.assertEqual(trace.one("ExitProcess").number(0), 1603)
        self.assertIsNone(trace.one("ExitProcess").retval)

    def test_escapes_are_decoded(self):
        cases = [
            (r"a\\b", "a\\b"),
            (r"\"q\"", '"q"'),
            (r"\n\r\t", "\n\r\t"),
            (r"\0416\00e9", "\u0416\u00e9"),
            (r"\d83d\de00", "\U0001F600"),         # a surrogate pair becomes one character
            (r"\x0416", "\u0416"),                 # the form some Wine versions write
            (r"\\0416", "\\0416"),                 # an escaped backslash before digits
            (r"\d83d", "\ud83d"),                  # a lone surrogate stays as it was
        ]
        for escaped, expected in cases:
            with self.subTest(escaped=escaped):
                self.assertEqual(wh.decode_wine_string(escaped), expected)
        self.assertEqual(wh.decode_wine_string(r"a\xe9\n", wide=False), "a\u00e9\n")

    def test_cut_strings_are_marked(self):
        shown = "a" * 289
        for printed, truncated in ((f'L"{"a" * 288}"', False),
                                   (f'L"{shown}"', True),          # one more may have been dropped
                                   (f'L"{shown}"...', True),
                                   ('L"\\0416"...', True)):
            with self.subTest(printed=printed[-12:]):
                arg = wh.parse_arg("0040a000 " + printed)
                self.assertEqual(arg.truncated, truncated)
                self.assertEqual(arg.number, 0x40A000)

    def test_time_and_process_prefixes(self):
        line = ('794.509:0254:0258:Call user32.MessageBoxW(00000000,00404060 L"x, y",'
                '00404044 L"",00001010) ret=004016da\n'
                '794.654:0254:0258:Ret  user32.MessageBoxW() retval=ffffffff ret=004016da\n')
        box = wh.Trace(line).one("user32.MessageBoxW")
        self.assertEqual((box.timestamp, box.process, box.thread), (794.509, 0x254, 0x258))
        self.assertEqual([box.text(1), box.text(2), box.number(3)], ["x, y", "", 0x1010])
        self.assertEqual(box.retval, 0xFFFFFFFF)

    def test_returns_are_matched_per_thread_and_nesting(self):
        text = ("0010:Call m.F(00000001) ret=1\n"
                "0020:Call m.F(00000002) ret=1\n"
                "0010:Call m.G(00000003) ret=1\n"
                "0010:Call m.F(00000004) ret=1\n"
                "0010:Ret  m.F() retval=0000000a ret=1\n"
                "0010:Ret  m.G() retval=0000000b ret=1\n"
                "0020:Ret  m.F() retval=0000000c ret=1\n")
        calls = wh.Trace(text).calls
        self.assertEqual([(c.number(0), c.retval) for c in calls], [(1, None), (2, 12), (3, 11), (4, 10)])

    def test_one_reports_what_it_found(self):
        trace = wh.Trace(SAMPLE + SAMPLE)
        with self.assertRaisesRegex(AssertionError, "found 2"):
            trace.one("msi.MsiInstallProductW")
        with self.assertRaisesRegex(AssertionError, "found 0"):
            trace.one("user32.MessageBoxW")


if __name__ == "__main__":
    unittest.main()
