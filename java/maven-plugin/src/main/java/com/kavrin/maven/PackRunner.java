package com.kavrin.maven;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.util.ArrayList;
import java.util.List;

import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugin.logging.Log;

/** Runs kavrin-pack and turns its failure into a failed build that carries its message. */
final class PackRunner {
    private final Log log;

    PackRunner(Log log) {
        this.log = log;
    }

    /** Runs the command and logs its output (warnings as warnings); throws when it fails. */
    void run(List<String> command) throws MojoExecutionException, MojoFailureException {
        for (String line : output(command)) {
            if (line.contains(": warning: ")) {
                log.warn(line);
            } else {
                log.info(line);
            }
        }
    }

    /** The builder's output lines; throws when it cannot run or exits non-zero. */
    List<String> output(List<String> command) throws MojoExecutionException, MojoFailureException {
        log.debug("Running " + String.join(" ", command));
        Process process;
        try {
            process = new ProcessBuilder(command).redirectErrorStream(true).start();
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot run " + command.get(0) + ": " + e.getMessage()
                    + ". Set the plugin's <executable> (or -Dkavrin.executable) or put kavrin-pack on PATH.", e);
        }
        List<String> lines = new ArrayList<>();
        // One stream (stderr merged): the builder writes little, and a full pipe cannot block it.
        try (BufferedReader reader = new BufferedReader(
                new InputStreamReader(process.getInputStream(), Charset.defaultCharset()))) {
            for (String line; (line = reader.readLine()) != null; ) {
                lines.add(line);
            }
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot read the output of " + command.get(0) + ": " + e.getMessage(), e);
        }
        int exitCode;
        try {
            exitCode = process.waitFor();
        } catch (InterruptedException e) {
            process.destroy();
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("Interrupted while " + command.get(0) + " ran", e);
        }
        if (exitCode != 0) {
            // kavrin-pack's message names the file, the line and the setting: pass it on as is.
            throw new MojoFailureException(lines.isEmpty()
                    ? command.get(0) + " failed with exit code " + exitCode
                    : String.join(System.lineSeparator(), lines));
        }
        return lines;
    }
}
