package com.kavrin.maven;

import java.io.File;
import java.io.IOException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.artifact.resolver.filter.ScopeArtifactFilter;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;

/** Packs the service executable: runs {@code kavrin-pack build} on the project file. */
@Mojo(name = "pack", defaultPhase = LifecyclePhase.PACKAGE, requiresDependencyResolution = ResolutionScope.RUNTIME,
        threadSafe = true)
public class PackMojo extends AbstractMojo {
    /** The project file (TOML). */
    @Parameter(property = "kavrin.projectFile", defaultValue = "${project.basedir}/kavrin.toml", required = true)
    File projectFile;

    /** The executable to write. */
    @Parameter(property = "kavrin.outputFile", defaultValue = "${project.build.directory}/${project.artifactId}.exe",
            required = true)
    File outputFile;

    /** The launcher stub; default: kavrin-service.exe beside the kavrin-pack that runs. */
    @Parameter(property = "kavrin.stub")
    File stub;

    /** The builder; default: kavrin-pack found on PATH. */
    @Parameter(property = "kavrin.executable")
    String executable;

    /** Files to carry inside the executable, after the project file's own files.include. */
    @Parameter
    List<File> includes;

    /**
     * Copy the project's jar and its runtime dependencies to lib/ beside the
     * executable and put each on the class path ({@code A1lib\<file name>}),
     * after the project file's java.class-path (instead of its default when it sets none).
     */
    @Parameter(property = "kavrin.classPathFromDependencies", defaultValue = "false")
    boolean classPathFromDependencies;

    /** Also write an MSI package beside the executable (needs a kavrin-pack with the msi command). */
    @Parameter(property = "kavrin.msi", defaultValue = "false")
    boolean msi;

    @Parameter(property = "kavrin.skip", defaultValue = "false")
    boolean skip;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    MavenProject project;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("Skipping kavrin:pack (kavrin.skip)");
            return;
        }
        String builder = executable == null || executable.isEmpty() ? "kavrin-pack" : executable;
        PackCommand command = new PackCommand(builder, projectFile, outputFile)
                .stub(stub)
                .includes(includes == null ? Collections.<File>emptyList() : includes);
        if (classPathFromDependencies) {
            command.classPath(copyClassPathJars(new File(outputFile.getAbsoluteFile().getParentFile(), "lib")));
        }
        PackRunner runner = new PackRunner(getLog());
        runner.run(command.build());
        if (msi) {
            List<String> help = runner.output(Arrays.asList(builder, "--help"));
            if (help.stream().noneMatch(line -> line.trim().startsWith("msi"))) {
                throw new MojoFailureException("msi is set, but " + builder
                        + " cannot write MSI packages (its --help lists no msi command)");
            }
            runner.run(command.msi());
        }
    }

    private List<String> copyClassPathJars(File lib) throws MojoExecutionException, MojoFailureException {
        List<DependencyJars.Jar> jars = new ArrayList<>();
        Artifact main = project.getArtifact();
        if (main.getArtifactHandler().isAddedToClasspath()) {
            if (main.getFile() == null || !main.getFile().isFile()) {
                throw new MojoFailureException("The project's jar is not built yet: run kavrin:pack in the package "
                        + "phase (mvn package), after the jar plugin");
            }
            jars.add(new DependencyJars.Jar(main.getFile(), main.getId()));
        }
        ScopeArtifactFilter runtime = new ScopeArtifactFilter(Artifact.SCOPE_RUNTIME);
        for (Artifact artifact : project.getArtifacts()) {
            if (runtime.include(artifact) && artifact.getArtifactHandler().isAddedToClasspath()
                    && artifact.getFile() != null) {
                jars.add(new DependencyJars.Jar(artifact.getFile(), artifact.getId()));
            }
        }
        try {
            return DependencyJars.copy(jars, lib);
        } catch (IllegalArgumentException e) {
            throw new MojoFailureException(e.getMessage(), e);
        } catch (IOException e) {
            throw new MojoExecutionException("Cannot copy the class path jars to " + lib + ": " + e.getMessage(), e);
        }
    }
}
