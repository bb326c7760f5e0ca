package com.kavrin.maven;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class DependencyJarsTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private DependencyJars.Jar jar(String dir, String name, String content) throws IOException {
        File file = new File(temp.getRoot(), dir + "/" + name);
        file.getParentFile().mkdirs();
        Files.write(file.toPath(), content.getBytes(StandardCharsets.UTF_8));
        return new DependencyJars.Jar(file, dir + ":" + name);
    }

    @Test
    public void theJarsAreCopiedAndNamedInClassPathOrder() throws IOException {
        File lib = new File(temp.getRoot(), "target/lib");
        lib.mkdirs();
        // An older version of a dependency from the last build must not stay in lib.
        Files.write(new File(lib, "dep-1.0.jar").toPath(), new byte[] {1});

        List<String> entries = DependencyJars.copy(Arrays.asList(
                jar("target", "app.jar", "app"), jar("repo/a", "dep-2.0.jar", "dep"), jar("repo/b", "z-1.jar", "z")),
                lib);

        assertEquals(Arrays.asList("A1lib\\app.jar", "A1lib\\dep-2.0.jar", "A1lib\\z-1.jar"), entries);
        String[] present = lib.list();
        Arrays.sort(present);
        assertArrayEquals(new String[] {"app.jar", "dep-2.0.jar", "z-1.jar"}, present);
        assertEquals("dep", new String(Files.readAllBytes(new File(lib, "dep-2.0.jar").toPath()), StandardCharsets.UTF_8));
    }

    @Test
    public void twoJarsWithOneFileNameAreRefused() throws IOException {
        File lib = new File(temp.getRoot(), "lib");
        try {
            DependencyJars.copy(Arrays.asList(jar("g1", "util-1.jar", "1"), jar("g2", "util-1.jar", "2")), lib);
            fail("no error");
        } catch (IllegalArgumentException e) {
            assertTrue(e.getMessage(), e.getMessage().contains("util-1.jar (g1:util-1.jar and g2:util-1.jar)"));
        }
        assertTrue("nothing copied", !lib.exists());
    }
}
