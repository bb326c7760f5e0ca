package com.example.hello;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.time.Instant;

/**
 * A minimal service application: main starts a worker that appends a heartbeat
 * line to a file every second and returns, as a service's main must. When the
 * service stops, the launcher ends the JVM and the shutdown hook writes a last line.
 *
 * Arguments: --heartbeat=FILE (default: heartbeat.log in the working directory).
 */
public final class HelloService {
    private HelloService() {}

    public static void main(String[] args) {
        Path file = Paths.get(heartbeatFile(args)).toAbsolutePath();
        append(file, "started " + Instant.now());

        Thread worker = new Thread(() -> beat(file), "heartbeat");
        worker.start();
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            worker.interrupt();
            append(file, "stopped " + Instant.now());
        }, "farewell"));
    }

    private static String heartbeatFile(String[] args) {
        for (String arg : args) {
            if (arg.startsWith("--heartbeat=")) {
                return arg.substring("--heartbeat=".length());
            }
        }
        return "heartbeat.log";
    }

    private static void beat(Path file) {
        long count = 0;
        while (!Thread.currentThread().isInterrupted()) {
            append(file, "heartbeat " + (++count) + " " + Instant.now());
            try {
                Thread.sleep(1000);
            } catch (InterruptedException stopping) {
                return;
            }
        }
    }

    private static synchronized void append(Path file, String line) {
        try {
            Files.write(file, (line + System.lineSeparator()).getBytes(StandardCharsets.UTF_8),
                    StandardOpenOption.CREATE, StandardOpenOption.APPEND);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }
}
