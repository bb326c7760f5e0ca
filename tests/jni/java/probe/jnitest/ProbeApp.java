package jnitest;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.lang.reflect.Method;
import java.nio.charset.StandardCharsets;

/**
 * The application the JNI tests start through the launcher. It reports what it
 * observes to the file named by PROBE_OUT (written to a temporary name and
 * renamed at the end, so the test can wait for the rename) and leaves a mark in
 * PROBE_HOOK when its shutdown hook runs. With PROBE_EXIT=N it then waits for
 * the file PROBE_EXIT_GO and calls System.exit(N), as an application ending itself.
 */
public final class ProbeApp {
    private static final String[] PROPERTIES = {
        "kavrin.isMolvex", "kavrin.isService", "kavrin.moduleName", "kavrin.processCommFile",
        "kavrin.tempDir", "kavrin.unextractedPosition", "kavrin.consoleCodepage",
        "java.class.path", "probe.fromVmOptions", "probe.fromJ", "probe.fromKey123",
    };

    public static void main(String[] args) throws Exception {
        String hookFile = System.getenv("PROBE_HOOK");
        if (hookFile != null) {
            Runtime.getRuntime().addShutdownHook(new Thread(() -> write(hookFile, "hook ran\n")));
        }
        StringBuilder report = new StringBuilder();
        report.append("thread=").append(Thread.currentThread().getName())
              .append(" daemon=").append(Thread.currentThread().isDaemon()).append('\n');
        for (String name : PROPERTIES) {
            String value = System.getProperty(name);
            report.append("prop ").append(name).append(value == null ? " absent" : "=" + value).append('\n');
        }
        Method startParameters = Class.forName("com.kavrin.runtime.WinLauncher").getMethod("startParameters");
        for (String p : (String[]) startParameters.invoke(null)) {
            report.append("start [").append(p).append("]\n");
        }
        report.append("argc=").append(args.length).append('\n');
        for (String a : args) {
            report.append("arg [").append(a).append("]\n");
        }
        System.err.println("probe: to the error stream");
        System.out.println("probe: to the output stream");
        System.err.flush();
        System.out.flush();

        String out = System.getenv("PROBE_OUT");
        write(out + ".tmp", report.toString());
        if (!new File(out + ".tmp").renameTo(new File(out))) {
            throw new IOException("rename failed");
        }
        String exitCode = System.getenv("PROBE_EXIT");
        if (exitCode != null) {
            File go = new File(System.getenv("PROBE_EXIT_GO"));
            while (!go.exists()) {
                Thread.sleep(20);
            }
            System.exit(Integer.parseInt(exitCode));
        }
    }

    private static void write(String file, String text) {
        try (Writer w = new OutputStreamWriter(new FileOutputStream(file), StandardCharsets.UTF_8)) {
            w.write(text);
        } catch (IOException e) {
            throw new RuntimeException(e);
        }
    }
}
