"""The service as an operations team sees it under Wine's service manager: how a
process end is reported (the Win32 and service-specific exit codes that recovery
and monitoring read), the account, display name and interactive bit that -install
registers, the event-log source, and a stop whose shutdown hook hangs.

Wine cannot show failure actions, delayed auto-start or the shutdown and
pre-shutdown controls; those are proven over the fake service manager in the host
tests (ServiceSettingsTest, ServiceMainTest).
"""

import time
import unittest

import harness
from harness import SERVICES_KEY, needs_jvm, record_text

SERVICE_SPECIFIC_ERROR = "1066"
EVENT_SOURCES_KEY = SERVICES_KEY + "EventLog\\Application\\"


class ServiceOperations(harness.ServiceTest):
    prefix_name = "ops"

    def end_codes(self, name):
        info = self.wait_for_state(name, harness.STOPPED)
        return info["win32_exit_code"], info["service_exit_code"]

    @needs_jvm
    def test_a_process_end_is_reported_with_its_exit_code(self):
        cases = [
            # The application's System.exit(3): the JVM's exit hook hands over the code.
            ("kvrexit3", "app-exit=3\n", None, (SERVICE_SPECIFIC_ERROR, "3")),
            # Fatal 1010 (start class missing) after the service reported running.
            ("kvrnomain", "class-missing\n", None, (SERVICE_SPECIFIC_ERROR, "1")),
            # Asked to stop: a clean stop, whatever Shutdown.exit returned.
            ("kvrclean", "", "-stop", ("0", "0")),
        ]
        for name, control, verb, expected in cases:
            with self.subTest(name):
                exe, jre, record = self.make_service(name, control=control)
                self.verb(exe, "-install")
                self.assertEqual(self.svctool("start", name).rc, 0)
                if verb:
                    harness.wait_for(lambda: "main argc=" in record_text(record))
                    self.verb(exe, verb)
                self.assertEqual(self.end_codes(name), expected, record_text(record))

    def test_account_display_name_and_interactive_bit_as_registered(self):
        cases = [
            ("kvrlocal", 'account = "LocalService"\ndisplay-name = "Local Svc"', "NT AUTHORITY\\LocalService",
             "Local Svc", 0x10),
            ("kvrvirt", 'account = "virtual"', "NT SERVICE\\kvrvirt", "kvrvirt", 0x10),
            ("kvrsys", "", "LocalSystem", "kvrsys", 0x110),  # unset: as -install always registered
        ]
        for name, settings, object_name, display_name, service_type in cases:
            with self.subTest(name):
                exe, jre, record = self.make_service(name, extra="[service]\n" + settings)
                self.verb(exe, "-install")
                key = SERVICES_KEY + name
                self.assertEqual(self.prefix.reg_query(key, "ObjectName"), object_name)
                self.assertEqual(self.prefix.reg_query(key, "DisplayName"), display_name)
                self.assertEqual(int(self.prefix.reg_query(key, "Type"), 16), service_type)

    @needs_jvm
    def test_a_fatal_error_fails_the_start_and_the_event_source_lives_with_the_service(self):
        # The event itself goes through ReportEventA under this source; Wine keeps no
        # Application log to read back, so the registered source is what is checked here
        # and the routing (event, never stderr or a box) in the host tests.
        name = "kvrevent"
        exe, jre, record = self.make_service(name, control="class-missing\n")
        self.verb(exe, "-install")
        source = EVENT_SOURCES_KEY + name
        self.assertEqual(self.prefix.reg_query_typed(source, "EventMessageFile"),
                         ("REG_EXPAND_SZ", self.prefix.winpath(exe)))
        self.assertEqual(int(self.prefix.reg_query(source, "TypesSupported"), 16), 7)
        started = time.monotonic()
        self.assertEqual(self.svctool("start", name).rc, 0)
        self.assertEqual(self.end_codes(name), (SERVICE_SPECIFIC_ERROR, "1"))
        self.assertLess(time.monotonic() - started, 30)  # failed, not timed out
        self.verb(exe, "-uninstall")
        self.assertIsNone(self.prefix.reg_query(source))

    @needs_jvm
    def test_a_shutdown_hook_past_the_stop_timeout_still_ends_stopped_in_time(self):
        name = "kvrslowhook"
        exe, jre, record = self.make_service(name, control="exit-sleep=60000\n",
                                             extra="[service.stop]\ntimeout = 4")
        self.verb(exe, "-install")
        self.start_and_wait_for_main(name, record)
        started = time.monotonic()
        r = self.svctool("control", name, "1")
        self.assertEqual(r.rc, 0, r)
        time.sleep(2.5)
        self.assertGreater(int(self.query(name)["checkpoint"]), 0)  # progress while the hook runs
        self.assertEqual(self.end_codes(name), ("0", "0"))
        self.assertLess(time.monotonic() - started, 4 + 5)


if __name__ == "__main__":
    unittest.main()
