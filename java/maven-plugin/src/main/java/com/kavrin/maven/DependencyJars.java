package com.kavrin.maven;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * Puts the project's jar and its runtime dependencies into one lib directory
 * beside the executable and names each as a mandatory class path entry
 * {@code A1lib\<file name>}, in class path order.
 */
final class DependencyJars {
    /** A jar to carry: its file and who it is, for messages. */
    static final class Jar {
        final File file;
        final String id;

        Jar(File file, String id) {
            this.file = file;
            this.id = id;
        }
    }

    private DependencyJars() {}

    /**
     * Copies the jars into {@code lib} and returns their class path entries.
     * Jars left in {@code lib} by an earlier build (an older version of a
     * dependency) are removed: the directory travels with the executable, and a
     * directory scan on the class path would pick them up.
     *
     * @throws IllegalArgumentException when two jars would get the same name
     */
    static List<String> copy(List<Jar> jars, File lib) throws IOException {
        Map<String, Jar> byName = new HashMap<>();
        for (Jar jar : jars) {
            Jar other = byName.put(jar.file.getName(), jar);
            if (other != null) {
                throw new IllegalArgumentException("two class path jars have the file name " + jar.file.getName()
                        + " (" + other.id + " and " + jar.id + "); only one can be in " + lib);
            }
        }
        Files.createDirectories(lib.toPath());
        File[] present = lib.listFiles((dir, name) -> name.endsWith(".jar"));
        for (File old : present == null ? new File[0] : present) {
            if (!byName.containsKey(old.getName())) {
                Files.delete(old.toPath());
            }
        }
        List<String> entries = new ArrayList<>();
        for (Jar jar : jars) {
            Files.copy(jar.file.toPath(), new File(lib, jar.file.getName()).toPath(),
                    StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.COPY_ATTRIBUTES);
            entries.add("A1" + lib.getName() + "\\" + jar.file.getName());
        }
        return entries;
    }
}
