package com.kavrin.maven;

import java.io.File;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * The kavrin-pack command lines one pack runs: {@code build}, and {@code msi} when asked.
 * Usage: {@code new PackCommand("kavrin-pack", project, output).classPath(entries).build()}.
 */
final class PackCommand {
    private final String executable;
    private final File project;
    private final File output;
    private File stub;
    private List<String> classPath = Collections.emptyList();
    private List<File> includes = Collections.emptyList();

    PackCommand(String executable, File project, File output) {
        this.executable = executable;
        this.project = project;
        this.output = output;
    }

    PackCommand stub(File value) {
        stub = value;
        return this;
    }

    PackCommand classPath(List<String> entries) {
        classPath = entries;
        return this;
    }

    PackCommand includes(List<File> files) {
        includes = files;
        return this;
    }

    List<String> build() {
        return command("build", output);
    }

    /** The MSI beside the executable: target/app.exe gives target/app.msi. */
    List<String> msi() {
        String name = output.getName();
        int dot = name.lastIndexOf('.');
        return command("msi", new File(output.getParentFile(), (dot > 0 ? name.substring(0, dot) : name) + ".msi"));
    }

    private List<String> command(String verb, File target) {
        List<String> command = new ArrayList<>();
        command.add(executable);
        command.add(verb);
        command.add(project.getPath());
        command.add("-o");
        command.add(target.getPath());
        // Without --stub the builder takes kavrin-service.exe beside itself.
        if (stub != null) {
            command.add("--stub");
            command.add(stub.getPath());
        }
        for (String entry : classPath) {
            command.add("--class-path");
            command.add(entry);
        }
        for (File file : includes) {
            command.add("--include");
            command.add(file.getPath());
        }
        return command;
    }
}
