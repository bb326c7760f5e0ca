"""The service as an operations team sees it under Wine's service manager: how a
process end is reported (the Win32 and service-specific exit codes that recovery
and monitoring read), the account, display name and interactive bit that -install
registers, the event-log source, and a stop whose shutdown hook hangs.

Wine cannot show failure actions, delayed auto-start or the shutdown and
pre-shutdown controls; those are proven over the fake service manager in the host
tests (ServiceSettingsTest, ServiceMainTest).
"""

import harness
from test_service_run import ServiceScenario, needs_jvm

SERVICE_SPECIFIC_ERROR = "1066"


class ServiceOperations(ServiceScenario):
    prefix_name = "ops"

    def end_codes(self, name):
        info = self.wait_state(name, harness.STOPPED)
        return info["state"], info["win32_exit_code"], info["service_exit_code"]

    @needs_jvm
    def test_a_process_end_is_reported_with_its_exit_code(self):
        cases = [
            # The application's System.exit(3): the JVM's exit hook hands over the code.
            ("kvrexit3", "app-exit=3\n", None, ("1", SERVICE_SPECIFIC_ERROR, "3")),
            # Fatal 1010 (start class missing) after the service reported running.
            ("kvrnomain", "class-missing\n", None, ("1", SERVICE_SPECIFIC_ERROR, "1")),
            # Asked to stop: a clean stop, whatever Shutdown.exit returned.
            ("kvrclean", "", "-stop", ("1", "0", "0")),
        ]
        for name, control, verb, expected in cases:
            with self.subTest(name):
                exe, jre, record = self.make_service(name, control=control)
                self.assertEqual(self.verb(exe, "-install").rc, 0)
                self.assertEqual(self.svctool("start", name).rc, 0)
                if verb:
                    harness.wait_for(lambda: "main argc=" in self.record(record))
                    self.assertEqual(self.verb(exe, verb).rc, 0)
                self.assertEqual(self.end_codes(name), expected, self.record(record))


if __name__ == "__main__":
    import unittest
    unittest.main()
